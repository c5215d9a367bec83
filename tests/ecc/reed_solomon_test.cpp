#include "ecc/reed_solomon.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using zarvex::ecc::clsFiniteField;
using zarvex::ecc::clsReedSolomon;

namespace {

std::shared_ptr<clsFiniteField> MakeField(int32_t size, int32_t polynomial, int32_t generator = 0)
{
    auto f = std::make_shared<clsFiniteField>();
    EXPECT_TRUE(f->InitField(size, polynomial, generator));
    return f;
}

// Places data (transmission order) in the coder's layout and returns the
// error-correction symbols in transmission order; the data must stay as they were.
std::vector<int32_t> EccOf(const clsReedSolomon& rs, const std::vector<int32_t>& data)
{
    const auto ecc = static_cast<size_t>(rs.EccLength());
    std::vector<int32_t> block(ecc + data.size(), -99);
    for (size_t i = 0; i < data.size(); ++i)
        block[block.size() - 1 - i] = data[i];
    rs.Encode(block);
    for (size_t i = 0; i < data.size(); ++i)
        EXPECT_EQ(block[block.size() - 1 - i], data[i]) << "data symbol " << i << " changed";
    std::vector<int32_t> out;
    for (size_t m = 0; m < ecc; ++m)
        out.push_back(block[ecc - 1 - m]);
    return out;
}

// Horner evaluation of sum codeword[i] * x^i.
int32_t Evaluate(const clsFiniteField& f, const std::vector<int32_t>& codeword, int32_t x)
{
    int32_t acc = 0;
    for (size_t i = codeword.size(); i-- > 0;)
        acc = f.Add(f.Multiply(acc, x), codeword[i]);
    return acc;
}

} // namespace

TEST(ReedSolomon, WorkedValues)
{
    const struct {
        int32_t data;
        std::vector<int32_t> message, ecc;
    } cases[] = {
        // A single 1 gives the generator's own coefficients (QR, degree 7),
        // highest first.
        {1, {1}, {127, 122, 154, 164, 11, 68, 117}},
        // The standard's example: version 1-M, "01234567".
        {16,
         {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11},
         {0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55}},
    };
    for (const auto& c : cases) {
        clsReedSolomon rs;
        ASSERT_TRUE(rs.InitCoder(c.data, static_cast<int32_t>(c.ecc.size()), MakeField(256, 285, 2), 0, 0));
        EXPECT_EQ(rs.Alpha(), 2);
        EXPECT_EQ(EccOf(rs, c.message), c.ecc);
    }
}

TEST(ReedSolomonInit, RefusalsKeepThePreviousGeometry)
{
    auto field = MakeField(256, 285, 2);
    clsReedSolomon rs;
    EXPECT_FALSE(rs.InitCoder(10, 4, nullptr, 0, 0)); // no field passed, none stored
    EXPECT_EQ(rs.Field(), nullptr);

    ASSERT_TRUE(rs.InitCoder(1000, 24, field, 0, 0));
    const int32_t g0 = rs.GeneratorCoef(0);
    EXPECT_FALSE(rs.InitCoder(1001, 24, nullptr, 0, 0));
    EXPECT_FALSE(rs.InitCoder(0, 10, nullptr, 0, 0));
    EXPECT_FALSE(rs.InitCoder(10, 0, nullptr, 0, 0));
    EXPECT_FALSE(rs.InitCoder(10, 4, nullptr, 0, -1));
    EXPECT_FALSE(rs.InitCoder(INT32_MAX, 10, nullptr, 0, 0)); // the sum must not wrap
    EXPECT_EQ(rs.DataLength(), 1000);
    EXPECT_EQ(rs.EccLength(), 24);
    EXPECT_EQ(rs.GeneratorCoef(0), g0);
    EXPECT_EQ(rs.GeneratorCoef(24), 1);
}

TEST(ReedSolomonInit, StoredAlphaWinsOverTheFieldGenerator)
{
    auto field = MakeField(256, 285, 2);
    clsReedSolomon a, b;
    a.SetAlpha(3);
    ASSERT_TRUE(a.InitCoder(10, 5, field, 0, 0));
    EXPECT_EQ(a.Alpha(), 3);
    ASSERT_TRUE(b.InitCoder(10, 5, field, 3, 0));
    for (int32_t i = 0; i <= 5; ++i)
        EXPECT_EQ(a.GeneratorCoef(i), b.GeneratorCoef(i));

    // With no alpha anywhere (a field whose generator is 0) the call fails,
    // but the field passed in has already replaced the stored one.
    clsReedSolomon fresh;
    auto noGenerator = std::make_shared<clsFiniteField>();
    EXPECT_FALSE(fresh.InitCoder(10, 4, noGenerator, 0, 0));
    EXPECT_EQ(fresh.Field(), noGenerator);
    EXPECT_EQ(fresh.EccLength(), 0);
}

TEST(ReedSolomonInit, FollowsItsFieldWhenTheFieldChanges)
{
    // The same field object re-initialised in place, or swapped by a failed
    // InitCoder, must never be encoded with tables of the old field.
    auto field = MakeField(256, 285, 2);
    clsReedSolomon rs;
    ASSERT_TRUE(rs.InitCoder(20, 8, field, 0, 0));
    const std::vector<int32_t> data(20, 77);
    const auto before = EccOf(rs, data);

    ASSERT_TRUE(field->InitField(256, 301, 2)); // another primitive polynomial
    ASSERT_TRUE(rs.InitCoder(20, 8, nullptr, 0, 0));
    clsReedSolomon fresh;
    ASSERT_TRUE(fresh.InitCoder(20, 8, MakeField(256, 301, 2), 0, 0));
    EXPECT_EQ(EccOf(rs, data), EccOf(fresh, data));
    EXPECT_NE(EccOf(rs, data), before);

    // Symbols outside the field go through the checked arithmetic.
    std::vector<int32_t> bad(28, 0);
    bad[27] = 20000;
    EXPECT_THROW(rs.Encode(bad), std::out_of_range);
}

TEST(ReedSolomonSafety, OutOfRangeAccessThrowsInsteadOfCorrupting)
{
    clsReedSolomon rs;
    EXPECT_EQ(rs.GeneratorCoef(1023), 0);
    EXPECT_THROW((void)rs.GeneratorCoef(1024), std::out_of_range);
    EXPECT_THROW((void)rs.GeneratorCoef(-1), std::out_of_range);

    // Before any InitCoder there is nothing to do, but an empty array has no
    // element at index EccLength = 0.
    std::vector<int32_t> one(1, 42);
    EXPECT_NO_THROW(rs.Encode(one));
    EXPECT_EQ(one[0], 42);
    EXPECT_THROW(rs.Encode(std::span<int32_t>{}), std::out_of_range);

    ASSERT_TRUE(rs.InitCoder(16, 10, MakeField(256, 285, 2), 0, 0));
    std::vector<int32_t> tooShort(25, 7); // needs 26
    EXPECT_THROW(rs.Encode(tooShort), std::out_of_range);
    EXPECT_EQ(tooShort, std::vector<int32_t>(25, 7)) << "nothing written on refusal";
    std::vector<int32_t> justEcc(10, 7);
    EXPECT_THROW(rs.Encode(justEcc), std::out_of_range);
    EXPECT_EQ(rs.GeneratorCoef(1023), 0);
}

TEST(ReedSolomon, CodewordsVanishAtEveryRootWhateverTheFieldAlphaAndBase)
{
    // Codewords are multiples of g(x): they vanish at every root
    // Alpha^b .. Alpha^(b+EccLength-1). Alpha is the field's generator to a
    // power coprime to q-1, so another primitive element.
    const struct {
        int32_t size, polynomial, alphaPower, base, data, ecc;
    } cases[] = {{256, 285, 1, 0, 123, 30},    {256, 285, 7, 1, 40, 17},    {256, 301, 1, 0, 100, 68},
                 {16, 19, 2, 3, 5, 6},         {16384, 17475, 1, 0, 1000, 24}, {16384, 17475, 5, 2, 24, 1000},
                 {929, 0, 1, 1, 200, 64},      {929, 0, 5, 0, 30, 9},       {16381, 0, 1, 3, 300, 40},
                 {7, 0, 5, 2, 2, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE("GF(" + std::to_string(c.size) + ") k=" + std::to_string(c.data) + " e=" + std::to_string(c.ecc));
        auto field = MakeField(c.size, c.polynomial);
        const int32_t alpha = field->Exp(c.alphaPower);
        clsReedSolomon rs;
        ASSERT_TRUE(rs.InitCoder(c.data, c.ecc, field, alpha, c.base));
        std::mt19937 rng(static_cast<uint32_t>(c.size * 31 + c.ecc));
        std::uniform_int_distribution<int32_t> symbol(0, c.size - 1);
        for (int round = 0; round < 5; ++round) {
            std::vector<int32_t> codeword(static_cast<size_t>(c.data + c.ecc), 0);
            for (size_t i = static_cast<size_t>(c.ecc); i < codeword.size(); ++i)
                codeword[i] = symbol(rng);
            rs.Encode(codeword);
            for (int32_t j = 0; j < c.ecc; ++j) {
                const auto power = int64_t{c.alphaPower} * (c.base + j) % (c.size - 1);
                ASSERT_EQ(Evaluate(*field, codeword, field->Exp(static_cast<int32_t>(power))), 0) << "root " << j;
            }
        }
    }
}
