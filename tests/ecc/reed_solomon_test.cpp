// The QR code's own field, alpha and block sizes are pinned by the standard's
// example (QrCodewords) and the peer comparison (QrEveryVersion); here the
// other fields, alphas and base exponents, and the coder's state across
// refusals and field changes.
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

// The whole block: the error-correction symbols below the data, as Encode lays it out.
std::vector<int32_t> Encoded(const clsReedSolomon& rs, const std::vector<int32_t>& data)
{
    std::vector<int32_t> block(static_cast<size_t>(rs.EccLength()), 0);
    block.insert(block.end(), data.begin(), data.end());
    rs.Encode(block);
    return block;
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

TEST(ReedSolomon, CodewordsVanishAtEveryRootWhateverTheFieldAlphaAndBase)
{
    // Codewords are multiples of g(x): they vanish at every root
    // Alpha^b .. Alpha^(b+EccLength-1), and the data symbols stay as they were.
    // Alpha is the field's generator to a power coprime to q-1, so another
    // primitive element.
    const struct {
        int32_t size, polynomial, alphaPower, base, data, ecc;
    } cases[] = {{256, 285, 1, 0, 123, 30},    {256, 285, 7, 1, 40, 17},    {256, 301, 1, 0, 100, 68},
                 {16, 19, 2, 3, 5, 6},         {16384, 17475, 1, 0, 1000, 24}, {16384, 17475, 5, 2, 24, 1000},
                 {929, 0, 1, 1, 200, 64},      {929, 0, 5, 0, 30, 9},       {16381, 0, 1, 3, 300, 40},
                 {7, 0, 5, 2, 2, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE("GF(" + std::to_string(c.size) + ") k=" + std::to_string(c.data) + " e=" + std::to_string(c.ecc));
        auto field = MakeField(c.size, c.polynomial);
        clsReedSolomon rs;
        ASSERT_TRUE(rs.InitCoder(c.data, c.ecc, field, field->Exp(c.alphaPower), c.base));
        std::mt19937 rng(static_cast<uint32_t>(c.size * 31 + c.ecc));
        std::uniform_int_distribution<int32_t> symbol(0, c.size - 1);
        for (int round = 0; round < 5; ++round) {
            std::vector<int32_t> data(static_cast<size_t>(c.data));
            for (auto& d : data)
                d = symbol(rng);
            const std::vector<int32_t> codeword = Encoded(rs, data);
            ASSERT_TRUE(std::equal(data.begin(), data.end(), codeword.begin() + c.ecc));
            for (int32_t j = 0; j < c.ecc; ++j) {
                const auto power = int64_t{c.alphaPower} * (c.base + j) % (c.size - 1);
                ASSERT_EQ(Evaluate(*field, codeword, field->Exp(static_cast<int32_t>(power))), 0) << "root " << j;
            }
        }
    }
}

TEST(ReedSolomonInit, RefusalsKeepTheCoderAndTheStoredAlphaComesFirst)
{
    auto field = MakeField(256, 285, 2);
    clsReedSolomon rs;
    EXPECT_FALSE(rs.InitCoder(10, 4, nullptr, 0, 0)); // no field passed, none stored
    EXPECT_EQ(rs.Field(), nullptr);
    ASSERT_TRUE(rs.InitCoder(1000, 24, field, 0, 0));
    const std::vector<int32_t> data(1000, 77);
    const auto before = Encoded(rs, data);
    // Data, error correction, their sum (which must not wrap) and the base exponent out of range.
    for (const auto [dataLength, eccLength, base] :
         {std::array{1001, 24, 0}, {0, 10, 0}, {10, 0, 0}, {10, 4, -1}, {INT32_MAX, 10, 0}})
        EXPECT_FALSE(rs.InitCoder(dataLength, eccLength, nullptr, 0, base)) << dataLength << " " << eccLength;
    EXPECT_EQ(Encoded(rs, data), before);

    clsReedSolomon stored, passed;
    stored.SetAlpha(3);
    ASSERT_TRUE(stored.InitCoder(10, 5, field, 0, 0));
    EXPECT_EQ(stored.Alpha(), 3);
    ASSERT_TRUE(passed.InitCoder(10, 5, field, 3, 0));
    EXPECT_EQ(Encoded(stored, std::vector<int32_t>(10, 1)), Encoded(passed, std::vector<int32_t>(10, 1)));

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
    // The same field object re-initialised in place must never be encoded
    // with tables of the old field.
    auto field = MakeField(256, 285, 2);
    clsReedSolomon rs;
    ASSERT_TRUE(rs.InitCoder(20, 8, field, 0, 0));
    const std::vector<int32_t> data(20, 77);
    const auto before = Encoded(rs, data);

    ASSERT_TRUE(field->InitField(256, 301, 2)); // another primitive polynomial
    ASSERT_TRUE(rs.InitCoder(20, 8, nullptr, 0, 0));
    clsReedSolomon fresh;
    ASSERT_TRUE(fresh.InitCoder(20, 8, MakeField(256, 301, 2), 0, 0));
    EXPECT_EQ(Encoded(rs, data), Encoded(fresh, data));
    EXPECT_NE(Encoded(rs, data), before);

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
    for (const size_t length : {25, 10}) { // 26 are needed
        std::vector<int32_t> tooShort(length, 7);
        EXPECT_THROW(rs.Encode(tooShort), std::out_of_range);
        EXPECT_EQ(tooShort, std::vector<int32_t>(length, 7)) << "nothing written on refusal";
    }
}
