#include "ecc/finite_field.h"

#include <cmath>

namespace zarvex::ecc {

namespace {

// Table entries are 16-bit; indices are checked like every other access.
void Store(std::array<int16_t, clsFiniteField::kMaxSize>& table, int32_t index, int32_t value)
{
    if (index < 0 || index >= clsFiniteField::kMaxSize)
        throw std::out_of_range("clsFiniteField: table index outside 0..16383");
    table[static_cast<size_t>(index)] = static_cast<int16_t>(value);
}

} // namespace

int32_t clsFiniteField::MultiplyDirect(int32_t a, int32_t b) const
{
    if (a == 0 || b == 0)
        return 0;
    if (size_ == 2)
        return 1;
    if (!IsBinary())
        return Checked((int64_t{a} * b) % size_);

    // Shift-and-add: for every set bit of b add the matching shifted copy of a,
    // reducing a by the polynomial whenever it reaches degree m.
    int64_t x = a;
    int64_t y = b;
    int64_t mask = 1;
    int64_t acc = 0;
    for (;;) {
        if (y & mask) {
            y &= ~mask;
            acc ^= x;
        }
        if (y == 0)
            return Checked(acc);
        mask *= 2;
        x *= 2;
        // A 32-bit operand runs out of bits here; only a caller's out-of-field
        // operand (a negative b, say) gets this far.
        if (mask > INT32_MAX || x > INT32_MAX || x < INT32_MIN)
            throw std::overflow_error("clsFiniteField: arithmetic overflow");
        if (x & size_)
            x = (x ^ polynomial_) & (size_ - 1);
    }
}

int32_t clsFiniteField::InverseDirect(int32_t a) const
{
    if (a == 0)
        return 0;
    if (size_ == 2)
        return 1;
    if (IsBinary())
        return 0; // not provided in GF(2^m); the tables serve there
    // Extended Euclid on (q, a): keeps t with t * a == r (mod q).
    int64_t r0 = size_, r1 = a;
    int64_t t0 = 0, t1 = 1;
    while (r1 != 0) {
        const int64_t quotient = r0 / r1;
        const int64_t r2 = r0 - quotient * r1;
        r0 = r1;
        r1 = r2;
        const int64_t t2 = t0 - quotient * t1;
        t0 = t1;
        t1 = t2;
    }
    int64_t inv = t0 % size_;
    if (inv < 0)
        inv += size_;
    return Checked(inv);
}

int32_t clsFiniteField::DivideDirect(int32_t a, int32_t b) const
{
    if (a == 0 || b == 0)
        return 0;
    if (size_ == 2)
        return 1;
    if (IsBinary())
        return 0;
    int64_t q = (int64_t{a} * InverseDirect(b)) % size_;
    if (q < 0)
        q += size_;
    return Checked(q);
}

int32_t clsFiniteField::Exp(int32_t n) const
{
    // The remainder keeps the sign of n, as the exponent may be negative.
    const int64_t order = int64_t{size_} - 1;
    int64_t r = order == 0 ? 0 : int64_t{n} % order;
    if (r < 0)
        r += order;
    return ExpAt(Checked(r));
}

int32_t clsFiniteField::FindPrimitive() const
{
    // g is primitive when g^((q-1)/p) != 1 for every prime p dividing q-1.
    // Collect those exponents first (q-1 <= 16383 has at most 5 distinct primes).
    const int32_t order = size_ - 1;
    std::array<int32_t, 8> exponents{};
    size_t count = 0;
    auto record = [&](int32_t p) {
        if (count < exponents.size())
            exponents[count++] = order / p;
    };

    int32_t rest = order;
    if (rest > 0 && rest % 2 == 0) {
        record(2);
        while (rest % 2 == 0)
            rest /= 2;
    }
    auto bound = [](int32_t n) { return n < 0 ? -1.0 : std::nearbyint(std::sqrt(double(n)) + 2.0); };
    double limit = bound(rest);
    for (int32_t d = 3; d <= limit; d += 2) {
        if (rest % d == 0) {
            record(d);
            while (rest % d == 0)
                rest /= d;
            limit = bound(rest);
        }
    }
    if (rest > 1)
        record(rest);

    for (int32_t g = 2; g <= size_ - 1; ++g) {
        // g^(2^i) for the 14 bits an exponent below 16384 can have.
        std::array<int32_t, 14> squares{};
        squares[0] = g;
        for (size_t i = 1; i < squares.size(); ++i)
            squares[i] = MultiplyDirect(squares[i - 1], squares[i - 1]);

        bool primitive = true;
        for (size_t k = 0; k < count && primitive; ++k) {
            int32_t power = 1;
            for (size_t bit = 0; bit < squares.size(); ++bit) {
                if (exponents[k] & (1 << bit))
                    power = MultiplyDirect(power, squares[bit]);
            }
            primitive = power != 1;
        }
        if (primitive)
            return g;
    }
    return 0;
}

bool clsFiniteField::InitField(int32_t size, int32_t polynomial, int32_t generator)
{
    if (size < 2 || size > kMaxSize)
        return false;

    if (size == 2) {
        size_ = 2;
        polynomial_ = 2;
        generator_ = 1;
        logTable_[0] = logTable_[1] = 0;
        expTable_[0] = expTable_[1] = 1;
        return true;
    }

    const bool binary = (size & (size - 1)) == 0;
    if (binary && polynomial == 0)
        return false;

    size_ = size;
    polynomial_ = binary ? polynomial : size; // a prime field reduces by q itself
    if (generator == 0)
        generator = FindPrimitive();
    generator_ = generator;

    Store(logTable_, 0, 0);
    Store(logTable_, 1, 0);
    Store(logTable_, generator, 1);
    Store(expTable_, 0, 1);
    Store(expTable_, size - 1, 1); // so that Inverse(1) reads ExpTable[q-1]
    Store(expTable_, 1, generator);
    int32_t x = generator;
    for (int32_t i = 2; i <= size - 2; ++i) {
        x = MultiplyDirect(x, generator); // for a prime, MultiplyDirect is (x*g) mod q
        Store(logTable_, x, i);
        Store(expTable_, i, x);
    }
    return true;
}

} // namespace zarvex::ecc
