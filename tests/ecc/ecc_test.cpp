// The field's arithmetic and the Reed-Solomon coder over it. The QR code's
// own field, alpha and block sizes are pinned by the standard's example
// (QrWorkedExample) and the peer comparison (QrEveryVersion); here every other
// field, alpha and base exponent, and the coder's state across refusals and
// field changes.
#include "ecc/finite_field.h"
#include "ecc/reed_solomon.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

using zarvex::ecc::clsFiniteField;
using zarvex::ecc::clsReedSolomon;

namespace {

struct Field {
    int32_t size, polynomial, generator;
};

// Answers standing for an exception, or for "any value, but no exception".
constexpr int32_t kOutOfRange = -1001, kOverflow = -1002, kNoThrow = -1003;

// An operation on the field `f`, with its text for the failure message.
#define OP(expression) #expression, [](const clsFiniteField& f) { return expression; }

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

TEST(FiniteField, WorkedValues)
{
    const Field gf256{256, 285, 2}, gf2{2, 12345, 77}, gf7{7, 0, 0}, gf16381{16381, 0, 0};
    const struct {
        Field field;
        const char* text;
        std::function<int32_t(const clsFiniteField&)> op;
        int32_t expected;
    } cases[] = {
        // The QR field: powers of 2 reduced by x^8 + x^4 + x^3 + x^2 + 1.
        {gf256, OP(f.Exp(7)), 128}, {gf256, OP(f.Exp(8)), 29}, {gf256, OP(f.Exp(255)), 1},
        {gf256, OP(f.Exp(-1)), 142}, {gf256, OP(f.Exp(-255)), 1}, {gf256, OP(f.Log(29)), 8},
        // Division by zero and the logarithm of zero are not errors.
        {gf256, OP(f.Divide(7, 0)), 0}, {gf256, OP(f.Inverse(0)), 0}, {gf256, OP(f.Log(0)), 0},
        // The direct forms of division are not provided in GF(2^m): 0.
        {gf256, OP(f.InverseDirect(5)), 0}, {gf256, OP(f.DivideDirect(5, 3)), 0},
        // 285 and 29 describe the same GF(256): only the bits below bit 8 reduce.
        {{256, 29, 2}, OP(f.Exp(8)), 29}, {{256, 29, 2}, OP(f.Exp(100)), 17},
        {{256, 285, 0}, OP(f.Generator()), 2}, {gf7, OP(f.Generator()), 3},
        // GF(2) ignores the polynomial and generator it is given.
        {gf2, OP(f.Polynomial()), 2}, {gf2, OP(f.Generator()), 1}, {gf2, OP(f.Multiply(1, 1)), 1},
        {gf2, OP(f.MultiplyDirect(1, 1)), 1}, {gf2, OP(f.Add(1, 1)), 0}, {gf2, OP(f.Inverse(1)), 1},
        {gf2, OP(f.InverseDirect(1)), 1},
        // A prime field: residues.
        {gf7, OP(f.Polynomial()), 7}, {gf7, OP(f.Add(5, 4)), 2}, {gf7, OP(f.Negate(3)), 4},
        {gf7, OP(f.Negate(0)), 0}, {gf7, OP(f.Subtract(2, 5)), 4}, {gf7, OP(f.InverseDirect(3)), 5},
        {gf7, OP(f.Exp(-1)), 5}, {gf7, OP(f.Exp(6)), 1},
        // Indices outside the tables throw; operands from q to 16383 are in
        // the tables and merely meaningless.
        {gf256, OP(f.Multiply(-1, 5)), kOutOfRange}, {gf256, OP(f.Multiply(5, 16384)), kOutOfRange},
        {gf256, OP(f.Log(16384)), kOutOfRange}, {gf256, OP(f.Log(-1)), kOutOfRange},
        {gf256, OP(f.Divide(3, -2)), kOutOfRange}, {gf256, OP(f.Inverse(20000)), kOutOfRange},
        {gf256, OP(f.Multiply(300, 16383)), kNoThrow},
        // Out-of-field operands in the modular forms give defined results,
        // never a wrapped product; shift-and-add runs out of bits and says so.
        {gf16381, OP(f.MultiplyDirect(INT32_MAX, INT32_MAX)), 5041},
        {gf16381, OP(f.Add(INT32_MAX, 1)), INT32_MAX - 16380},
        {{16, 19, 2}, OP(f.MultiplyDirect(3, -1)), kOverflow},
        {gf256, OP(f.MultiplyDirect(1 << 30, 3)), kOverflow},
    };
    for (const auto& c : cases) {
        int32_t got = 0;
        try {
            got = c.op(*MakeField(c.field.size, c.field.polynomial, c.field.generator));
            got = c.expected == kNoThrow && got >= 0 ? kNoThrow : got;
        } catch (const std::out_of_range&) {
            got = kOutOfRange;
        } catch (const std::overflow_error&) {
            got = kOverflow;
        }
        EXPECT_EQ(got, c.expected) << "GF(" << c.field.size << "): " << c.text;
    }
}

TEST(FiniteField, RefusedOrRepeatedInitKeepsTheTablesSafe)
{
    const auto f = MakeField(256, 285, 2);
    // A zero polynomial for a power of two; sizes outside 2..16384.
    for (const auto& [size, polynomial] : {std::pair{256, 0}, {1, 3}, {0, 3}, {16385, 3}, {-4, 3}})
        EXPECT_FALSE(f->InitField(size, polynomial, 1)) << size;
    EXPECT_EQ(f->Size(), 256);
    EXPECT_EQ(f->Polynomial(), 285);
    EXPECT_EQ(f->Generator(), 2);
    EXPECT_EQ(f->Multiply(128, 2), 29);

    // A smaller field after a larger one leaves stale log entries behind; a
    // product of two such operands must still stay inside the tables.
    const auto g = MakeField(16384, 17475, 0);
    ASSERT_TRUE(g->InitField(7, 0, 0));
    EXPECT_THROW((void)g->Multiply(16000, 16001), std::out_of_range);
}

TEST(FiniteField, TablesAreConsistentWithTheDirectFormsInEveryField)
{
    // Binary fields GF(2^m), m = 2..14, each with a primitive polynomial, and prime fields.
    const Field fields[] = {{4, 7, 0},      {8, 11, 0},     {16, 19, 0},     {32, 37, 0},     {64, 67, 0},
                            {128, 137, 0},  {256, 285, 0},  {512, 529, 0},   {1024, 1033, 0}, {2048, 2053, 0},
                            {4096, 4179, 0}, {8192, 8219, 0}, {16384, 17475, 0}, {3, 0, 0},   {7, 0, 0},
                            {929, 0, 0},    {16381, 0, 0}};
    for (const auto [q, poly, generator] : fields) {
        SCOPED_TRACE("GF(" + std::to_string(q) + ")");
        const auto field = MakeField(q, poly, generator);
        const clsFiniteField& f = *field;
        const bool binary = (q & (q - 1)) == 0;
        // The powers of a primitive generator run through every nonzero element once.
        for (int32_t k = 0; k < q - 1; ++k) {
            const int32_t x = f.Exp(k);
            ASSERT_TRUE(x > 0 && x < q && f.Log(x) == k) << "k=" << k << " x=" << x;
        }
        for (int32_t a = 1; a < q; ++a) {
            ASSERT_EQ(f.Multiply(a, f.Inverse(a)), 1) << "a=" << a;
            ASSERT_EQ(f.Add(a, f.Negate(a)), 0);
            if (!binary)
                ASSERT_EQ(f.InverseDirect(a), f.Inverse(a)) << "a=" << a;
        }

        // Pairs: every pair in small fields, a fixed random sample in large ones.
        std::mt19937 rng(static_cast<uint32_t>(q));
        std::uniform_int_distribution<int32_t> pick(0, q - 1);
        const bool all = int64_t{q} * q <= 70000;
        const int64_t pairs = all ? int64_t{q} * q : 40000;
        for (int64_t n = 0; n < pairs; ++n) {
            const int32_t a = all ? static_cast<int32_t>(n / q) : pick(rng);
            const int32_t b = all ? static_cast<int32_t>(n % q) : pick(rng);
            const int32_t product = f.Multiply(a, b);
            ASSERT_EQ(product, f.MultiplyDirect(a, b)) << a << "*" << b;
            ASSERT_EQ(f.Subtract(f.Add(a, b), b), a);
            if (b != 0)
                ASSERT_EQ(f.Divide(product, b), a) << a << "*" << b << "/" << b;
            if (!binary && b != 0)
                ASSERT_EQ(f.DivideDirect(a, b), f.Divide(a, b));
        }
    }
}

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

TEST(ReedSolomonInit, RefusalsKeepTheCoderWhichFollowsItsFieldAndTheStoredAlphaComesFirst)
{
    auto field = MakeField(256, 285, 2);
    clsReedSolomon rs;
    EXPECT_FALSE(rs.InitCoder(10, 4, nullptr, 0, 0)); // no field passed, none stored
    EXPECT_EQ(rs.Field(), nullptr);
    ASSERT_TRUE(rs.InitCoder(1000, 24, field, 0, 0));
    std::vector<int32_t> data(1000, 77);
    data[0] = 1; // all 77s have the same check symbols in both fields below
    const auto before = Encoded(rs, data);
    // Data, error correction, their sum (which must not wrap) and the base exponent out of range.
    for (const auto [dataLength, eccLength, base] :
         {std::array{1001, 24, 0}, {0, 10, 0}, {10, 0, 0}, {10, 4, -1}, {INT32_MAX, 10, 0}})
        EXPECT_FALSE(rs.InitCoder(dataLength, eccLength, nullptr, 0, base)) << dataLength << " " << eccLength;
    EXPECT_EQ(Encoded(rs, data), before);

    // The same field object re-initialised in place must never be encoded
    // with tables of the old field.
    ASSERT_TRUE(field->InitField(256, 301, 2)); // another primitive polynomial
    ASSERT_TRUE(rs.InitCoder(1000, 24, nullptr, 0, 0));
    clsReedSolomon other;
    ASSERT_TRUE(other.InitCoder(1000, 24, MakeField(256, 301, 2), 0, 0));
    EXPECT_EQ(Encoded(rs, data), Encoded(other, data));
    EXPECT_NE(Encoded(rs, data), before);
    // Symbols outside the field go through the checked arithmetic.
    std::vector<int32_t> bad(1024, 0);
    bad[1023] = 20000;
    EXPECT_THROW(rs.Encode(bad), std::out_of_range);

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
