#include "ecc/finite_field.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using zarvex::ecc::clsFiniteField;

namespace {

clsFiniteField Make(int32_t size, int32_t polynomial, int32_t generator)
{
    clsFiniteField f;
    EXPECT_TRUE(f.InitField(size, polynomial, generator));
    return f;
}

} // namespace

TEST(FiniteFieldGf256, TablesAndProductsOfTheQrField)
{
    const clsFiniteField f = Make(256, 285, 2);
    const int32_t powers[] = {1, 2, 4, 8, 16, 32, 64, 128, 29};
    for (int32_t k = 0; k < 9; ++k)
        EXPECT_EQ(f.Exp(k), powers[k]) << "k=" << k;
    EXPECT_EQ(f.Exp(255), 1);
    EXPECT_EQ(f.Log(2), 1);
    EXPECT_EQ(f.Log(29), 8);
    EXPECT_EQ(f.Multiply(128, 2), 29);
    EXPECT_EQ(f.Inverse(1), 1);
    // Operations that are "not provided" in GF(2^m) answer 0, the table forms answer truly.
    for (int32_t a = 1; a < 256; ++a) {
        EXPECT_EQ(f.InverseDirect(a), 0);
        EXPECT_EQ(f.DivideDirect(a, 3), 0);
        EXPECT_EQ(f.Multiply(f.Divide(a, 3), 3), a);
    }
    // Division by zero and the logarithm of zero are not errors.
    EXPECT_EQ(f.Divide(7, 0), 0);
    EXPECT_EQ(f.Inverse(0), 0);
    EXPECT_EQ(f.Log(0), 0);
    EXPECT_EQ(f.Exp(-1), f.Exp(254));
    EXPECT_EQ(f.Exp(-255), 1);
}

TEST(FiniteFieldInit, ChoosesTheGeneratorWhenAskedTo)
{
    EXPECT_EQ(Make(256, 285, 0).Generator(), 2);
    // 285 and 29 describe the same GF(256): only the bits below bit 8 reduce.
    const clsFiniteField a = Make(256, 285, 2), b = Make(256, 29, 2);
    for (int32_t k = 0; k < 255; ++k)
        ASSERT_EQ(a.Exp(k), b.Exp(k));
    EXPECT_EQ(Make(7, 0, 0).Generator(), 3);
}

TEST(FiniteFieldInit, RefusesUnusableArgumentsAndKeepsTheField)
{
    clsFiniteField f = Make(256, 285, 2);
    EXPECT_FALSE(f.InitField(256, 0, 2)); // zero polynomial for a power of two
    EXPECT_FALSE(f.InitField(1, 3, 1));
    EXPECT_FALSE(f.InitField(0, 3, 1));
    EXPECT_FALSE(f.InitField(16385, 3, 1));
    EXPECT_FALSE(f.InitField(-4, 3, 1));
    EXPECT_EQ(f.Size(), 256);
    EXPECT_EQ(f.Polynomial(), 285);
    EXPECT_EQ(f.Generator(), 2);
    EXPECT_EQ(f.Multiply(128, 2), 29);

    clsFiniteField big;
    EXPECT_TRUE(big.InitField(16384, 17475, 0));
    EXPECT_EQ(big.Size(), 16384);
}

TEST(FiniteFieldInit, TwoElementFieldIgnoresItsArguments)
{
    const clsFiniteField f = Make(2, 12345, 77);
    EXPECT_EQ(f.Polynomial(), 2);
    EXPECT_EQ(f.Generator(), 1);
    EXPECT_EQ(f.Multiply(1, 1), 1);
    EXPECT_EQ(f.MultiplyDirect(1, 1), 1);
    EXPECT_EQ(f.Add(1, 1), 0);
    EXPECT_EQ(f.Inverse(1), 1);
    EXPECT_EQ(f.InverseDirect(1), 1);
}

TEST(FiniteFieldPrime, SevenElementField)
{
    const clsFiniteField f = Make(7, 0, 0);
    EXPECT_EQ(f.Polynomial(), 7);
    EXPECT_EQ(f.Add(5, 4), 2);
    EXPECT_EQ(f.Negate(3), 4);
    EXPECT_EQ(f.Negate(0), 0);
    EXPECT_EQ(f.Subtract(2, 5), 4);
    EXPECT_EQ(f.InverseDirect(3), 5);
    EXPECT_EQ(f.Divide(1, 3), 5);
    EXPECT_EQ(f.DivideDirect(1, 3), 5);
    EXPECT_EQ(f.Exp(-1), f.Exp(5));
    EXPECT_EQ(f.Exp(6), 1);
}

TEST(FiniteFieldSafety, IndicesOutsideTheTablesThrow)
{
    const clsFiniteField f = Make(256, 285, 2);
    EXPECT_THROW((void)f.Multiply(-1, 5), std::out_of_range);
    EXPECT_THROW((void)f.Multiply(5, 16384), std::out_of_range);
    EXPECT_THROW((void)f.Log(16384), std::out_of_range);
    EXPECT_THROW((void)f.Log(-1), std::out_of_range);
    EXPECT_THROW((void)f.Divide(3, -2), std::out_of_range);
    EXPECT_THROW((void)f.Inverse(20000), std::out_of_range);
    // Operands from q to 16383 are in the tables and merely meaningless.
    EXPECT_NO_THROW((void)f.Multiply(300, 16383));

    // A smaller field after a larger one leaves stale log entries behind; a
    // product of two such operands must still stay inside the tables.
    clsFiniteField g = Make(16384, 17475, 0);
    ASSERT_TRUE(g.InitField(7, 0, 0));
    EXPECT_THROW((void)g.Multiply(16000, 16001), std::out_of_range);

    // Out-of-field operands in the modular forms give defined results, never
    // a wrapped product; shift-and-add with a negative operand runs out of
    // bits and says so.
    const clsFiniteField prime = Make(16381, 0, 0);
    EXPECT_EQ(prime.MultiplyDirect(INT32_MAX, INT32_MAX),
              static_cast<int32_t>((int64_t{INT32_MAX} * INT32_MAX) % 16381));
    EXPECT_EQ(prime.Add(INT32_MAX, 1), static_cast<int32_t>(int64_t{INT32_MAX} + 1 - 16381));
    EXPECT_THROW((void)Make(16, 19, 2).MultiplyDirect(3, -1), std::overflow_error);
    EXPECT_THROW((void)Make(256, 285, 2).MultiplyDirect(1 << 30, 3), std::overflow_error);
}

// Whole-field properties, for binary fields GF(2^m), m = 2..14, and prime fields.
struct FieldCase {
    int32_t size;
    int32_t polynomial;
};

void PrintTo(const FieldCase& c, std::ostream* os) { *os << "GF(" << c.size << ")"; }

class FieldProperties : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldProperties, TablesAreConsistentWithTheDirectForms)
{
    const auto [q, poly] = GetParam();
    const clsFiniteField f = Make(q, poly, 0);
    ASSERT_NE(f.Generator(), 0);
    const bool binary = (q & (q - 1)) == 0;

    // The powers of a primitive generator run through every nonzero element once.
    std::vector<bool> seen(static_cast<size_t>(q), false);
    for (int32_t k = 0; k < q - 1; ++k) {
        const int32_t x = f.Exp(k);
        ASSERT_GT(x, 0);
        ASSERT_LT(x, q);
        ASSERT_FALSE(seen[static_cast<size_t>(x)]) << "element " << x << " repeats at k=" << k;
        seen[static_cast<size_t>(x)] = true;
        ASSERT_EQ(f.Log(x), k);
    }

    for (int32_t a = 1; a < q; ++a) {
        ASSERT_EQ(f.Multiply(a, f.Inverse(a)), 1) << "a=" << a;
        ASSERT_EQ(f.Add(a, f.Negate(a)), 0);
        if (!binary) {
            ASSERT_EQ(f.InverseDirect(a), f.Inverse(a)) << "a=" << a;
        }
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
        ASSERT_EQ(product, f.Multiply(b, a));
        if (b != 0) {
            ASSERT_EQ(f.Divide(product, b), a) << a << "*" << b << "/" << b;
        }
        ASSERT_EQ(f.Subtract(f.Add(a, b), b), a);
        if (!binary && b != 0) {
            ASSERT_EQ(f.DivideDirect(a, b), f.Divide(a, b));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    BinaryAndPrimeFields, FieldProperties,
    ::testing::Values(
        // GF(2^m) with a primitive polynomial each
        FieldCase{4, 7}, FieldCase{8, 11}, FieldCase{16, 19}, FieldCase{32, 37}, FieldCase{64, 67},
        FieldCase{128, 137}, FieldCase{256, 285}, FieldCase{512, 529}, FieldCase{1024, 1033},
        FieldCase{2048, 2053}, FieldCase{4096, 4179}, FieldCase{8192, 8219}, FieldCase{16384, 17475},
        // prime fields
        FieldCase{3, 0}, FieldCase{7, 0}, FieldCase{929, 0}, FieldCase{16381, 0}),
    [](const ::testing::TestParamInfo<FieldCase>& param) {
        return "q" + std::to_string(param.param.size);
    });
