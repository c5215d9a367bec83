#include "ecc/finite_field.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

using zarvex::ecc::clsFiniteField;

namespace {

clsFiniteField Make(int32_t size, int32_t polynomial, int32_t generator)
{
    clsFiniteField f;
    EXPECT_TRUE(f.InitField(size, polynomial, generator));
    return f;
}

struct Field {
    int32_t size, polynomial, generator;
};

// Answers standing for an exception, or for "any value, but no exception".
constexpr int32_t kOutOfRange = -1001, kOverflow = -1002, kNoThrow = -1003;

int32_t Apply(const clsFiniteField& f, std::string_view op, int32_t a, int32_t b)
{
    try {
        if (op == "exp") return f.Exp(a);
        if (op == "log") return f.Log(a);
        if (op == "+") return f.Add(a, b);
        if (op == "-") return f.Subtract(a, b);
        if (op == "neg") return f.Negate(a);
        if (op == "*") return f.Multiply(a, b);
        if (op == "*direct") return f.MultiplyDirect(a, b);
        if (op == "/") return f.Divide(a, b);
        if (op == "/direct") return f.DivideDirect(a, b);
        if (op == "inv") return f.Inverse(a);
        if (op == "invdirect") return f.InverseDirect(a);
        if (op == "polynomial") return f.Polynomial();
        if (op == "generator") return f.Generator();
    } catch (const std::out_of_range&) {
        return kOutOfRange;
    } catch (const std::overflow_error&) {
        return kOverflow;
    }
    ADD_FAILURE() << "no operation " << op;
    return 0;
}

} // namespace

TEST(FiniteField, WorkedValues)
{
    const Field gf256{256, 285, 2}, gf2{2, 12345, 77}, gf7{7, 0, 0};
    const struct {
        Field field;
        const char* op;
        int32_t a, b, expected;
    } cases[] = {
        // The QR field: powers of 2 reduced by x^8 + x^4 + x^3 + x^2 + 1.
        {gf256, "exp", 7, 0, 128}, {gf256, "exp", 8, 0, 29}, {gf256, "exp", 255, 0, 1},
        {gf256, "exp", -1, 0, 142}, {gf256, "exp", -255, 0, 1}, {gf256, "log", 29, 0, 8},
        {gf256, "*", 128, 2, 29}, {gf256, "inv", 1, 0, 1},
        // Division by zero and the logarithm of zero are not errors.
        {gf256, "/", 7, 0, 0}, {gf256, "inv", 0, 0, 0}, {gf256, "log", 0, 0, 0},
        // The direct forms of division are not provided in GF(2^m): 0.
        {gf256, "invdirect", 5, 0, 0}, {gf256, "/direct", 5, 3, 0},
        // 285 and 29 describe the same GF(256): only the bits below bit 8 reduce.
        {{256, 29, 2}, "exp", 8, 0, 29}, {{256, 29, 2}, "exp", 100, 0, 17},
        {{256, 285, 0}, "generator", 0, 0, 2}, {{7, 0, 0}, "generator", 0, 0, 3},
        // GF(2) ignores the polynomial and generator it is given.
        {gf2, "polynomial", 0, 0, 2}, {gf2, "generator", 0, 0, 1}, {gf2, "*", 1, 1, 1},
        {gf2, "*direct", 1, 1, 1}, {gf2, "+", 1, 1, 0}, {gf2, "inv", 1, 0, 1}, {gf2, "invdirect", 1, 0, 1},
        // A prime field: residues.
        {gf7, "polynomial", 0, 0, 7}, {gf7, "+", 5, 4, 2}, {gf7, "neg", 3, 0, 4}, {gf7, "neg", 0, 0, 0},
        {gf7, "-", 2, 5, 4}, {gf7, "invdirect", 3, 0, 5}, {gf7, "/", 1, 3, 5}, {gf7, "/direct", 1, 3, 5},
        {gf7, "exp", -1, 0, 5}, {gf7, "exp", 6, 0, 1},
        // Indices outside the tables throw; operands from q to 16383 are in
        // the tables and merely meaningless.
        {gf256, "*", -1, 5, kOutOfRange}, {gf256, "*", 5, 16384, kOutOfRange}, {gf256, "log", 16384, 0, kOutOfRange},
        {gf256, "log", -1, 0, kOutOfRange}, {gf256, "/", 3, -2, kOutOfRange}, {gf256, "inv", 20000, 0, kOutOfRange},
        {gf256, "*", 300, 16383, kNoThrow},
        // Out-of-field operands in the modular forms give defined results,
        // never a wrapped product; shift-and-add runs out of bits and says so.
        {{16381, 0, 0}, "*direct", INT32_MAX, INT32_MAX, 5041},
        {{16381, 0, 0}, "+", INT32_MAX, 1, INT32_MAX - 16380},
        {{16, 19, 2}, "*direct", 3, -1, kOverflow}, {gf256, "*direct", 1 << 30, 3, kOverflow},
    };
    for (const auto& c : cases) {
        const clsFiniteField f = Make(c.field.size, c.field.polynomial, c.field.generator);
        const int32_t got = Apply(f, c.op, c.a, c.b);
        const int32_t answer = c.expected == kNoThrow && got >= 0 ? kNoThrow : got;
        EXPECT_EQ(answer, c.expected)
            << "GF(" << c.field.size << "): " << c.op << " " << c.a << " " << c.b;
    }
}

TEST(FiniteField, RefusedOrRepeatedInitKeepsTheTablesSafe)
{
    clsFiniteField f = Make(256, 285, 2);
    // A zero polynomial for a power of two; sizes outside 2..16384.
    for (const auto& [size, polynomial] : {std::pair{256, 0}, {1, 3}, {0, 3}, {16385, 3}, {-4, 3}})
        EXPECT_FALSE(f.InitField(size, polynomial, 1)) << size;
    EXPECT_EQ(f.Size(), 256);
    EXPECT_EQ(f.Polynomial(), 285);
    EXPECT_EQ(f.Generator(), 2);
    EXPECT_EQ(f.Multiply(128, 2), 29);

    // A smaller field after a larger one leaves stale log entries behind; a
    // product of two such operands must still stay inside the tables.
    clsFiniteField g = Make(16384, 17475, 0);
    ASSERT_TRUE(g.InitField(7, 0, 0));
    EXPECT_THROW((void)g.Multiply(16000, 16001), std::out_of_range);
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
        const clsFiniteField f = Make(q, poly, generator);
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
