// Arithmetic in a finite field GF(p) (p prime) or GF(2^m), with at most 16384
// elements, through logarithm and antilogarithm tables built once per field.
//
// Elements are carried as 32-bit integers in 0..q-1. In GF(2^m) an element is
// the integer whose bit i is the coefficient of x^i; addition is XOR. In a
// prime field an element is its residue.
//
// Operands are not checked against q (callers keep them in the field), but a
// table index outside 0..16383 throws std::out_of_range and an overflowing
// product in the modular forms throws std::overflow_error: a caller's mistake
// never reads or writes outside the tables.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>

namespace zarvex::ecc {

class clsFiniteField {
public:
    static constexpr int32_t kMaxSize = 16384;

    clsFiniteField() = default;

    int32_t Size() const { return size_; }
    int32_t Polynomial() const { return polynomial_; }
    int32_t Generator() const { return generator_; }

    // The smallest primitive element >= 2 of the current field, 0 if none.
    // Uses only MultiplyDirect, so it works before the tables exist.
    int32_t FindPrimitive() const;

    // Sets the field and builds both tables. size: a prime or a power of two,
    // 2..16384. polynomial: the reduction polynomial for a power of two (only
    // its bits below bit m count); ignored for a prime. generator: a primitive
    // element, or 0 to let FindPrimitive choose. Returns false, changing
    // nothing, for a size outside 2..16384 or a zero polynomial with a power of
    // two. Neither primality nor irreducibility is checked.
    bool InitField(int32_t size, int32_t polynomial, int32_t generator);

    int32_t Add(int32_t a, int32_t b) const
    {
        if (IsBinary())
            return a ^ b;
        const int64_t s = int64_t{a} + b;
        return Checked(s >= size_ ? s - size_ : s);
    }

    int32_t Negate(int32_t a) const
    {
        if (IsBinary())
            return a;
        return a == 0 ? 0 : Checked(int64_t{size_} - a);
    }

    int32_t Subtract(int32_t a, int32_t b) const
    {
        if (IsBinary())
            return a ^ b;
        const int64_t d = int64_t{a} - b;
        return Checked(d < 0 ? d + size_ : d);
    }

    // Two table reads and an addition: the working multiplication.
    int32_t Multiply(int32_t a, int32_t b) const
    {
        if (a == 0 || b == 0)
            return 0;
        int32_t s = LogAt(a) + LogAt(b);
        if (s >= size_ - 1)
            s -= size_ - 1;
        return ExpAt(s);
    }

    // Shift-and-add in GF(2^m), a modular product in a prime field; no tables.
    int32_t MultiplyDirect(int32_t a, int32_t b) const;

    int32_t Inverse(int32_t a) const
    {
        if (a == 0)
            return 0;
        return ExpAt((size_ - 1) - LogAt(a));
    }

    // Extended Euclid; only for prime fields (0 in GF(2^m) with m >= 2).
    int32_t InverseDirect(int32_t a) const;

    int32_t Divide(int32_t a, int32_t b) const
    {
        if (a == 0 || b == 0)
            return 0;
        int32_t d = LogAt(a) - LogAt(b);
        if (d < 0)
            d += size_ - 1;
        return ExpAt(d);
    }

    int32_t DivideDirect(int32_t a, int32_t b) const;

    // Log(0) and Log(1) are both 0.
    int32_t Log(int32_t a) const { return LogAt(a); }

    // Generator^n for any integer n, negative ones included.
    int32_t Exp(int32_t n) const;

    // True for GF(2^m), m >= 2, where addition is XOR and the tables are built.
    bool IsBinaryExtension() const { return size_ >= 4 && IsBinary(); }

private:
    // "q a power of two" in the sense of every operation, q = 2 included.
    bool IsBinary() const { return (size_ & (size_ - 1)) == 0; }

    static void CheckIndex(int32_t i)
    {
        if (i < 0 || i >= kMaxSize)
            throw std::out_of_range("clsFiniteField: table index outside 0..16383");
    }
    int32_t LogAt(int32_t i) const
    {
        CheckIndex(i);
        return logTable_[static_cast<size_t>(i)];
    }
    int32_t ExpAt(int32_t i) const
    {
        CheckIndex(i);
        return expTable_[static_cast<size_t>(i)];
    }
    static int32_t Checked(int64_t v)
    {
        if (v < INT32_MIN || v > INT32_MAX)
            throw std::overflow_error("clsFiniteField: arithmetic overflow");
        return static_cast<int32_t>(v);
    }

    int32_t size_ = 0;
    int32_t polynomial_ = 0;
    int32_t generator_ = 0;
    // Fixed size whatever q is; entries past q-1 carry no meaning.
    std::array<int16_t, kMaxSize> logTable_{};
    std::array<int16_t, kMaxSize> expTable_{};
};

} // namespace zarvex::ecc
