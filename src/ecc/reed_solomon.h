// Error-correction symbols of one block of a systematic Reed-Solomon code over
// a clsFiniteField, for blocks of up to 1024 symbols. Encoder only.
//
// Codeword layout of Encode's array: index i holds the coefficient of x^i.
// The data symbols sit at EccLength .. EccLength+DataLength-1, the first one
// (in transmission order) at the top index; Encode writes the error-correction
// symbols to EccLength-1 .. 0, again first to last. Reading the array from its
// top index down to 0 gives the block in transmission order.
#pragma once

#include "ecc/finite_field.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace zarvex::ecc {

class clsReedSolomon {
public:
    static constexpr int32_t kMaxBlock = 1024;

    clsReedSolomon() = default;

    // The field is shared (the QR encoder holds the same one) and kept alive
    // for as long as the coder refers to it.
    const std::shared_ptr<const clsFiniteField>& Field() const { return field_; }
    void SetField(std::shared_ptr<const clsFiniteField> field) { field_ = std::move(field); }

    int32_t Alpha() const { return alpha_; }
    // Used by the next InitCoder that passes alpha 0.
    void SetAlpha(int32_t alpha) { alpha_ = alpha; }

    int32_t DataLength() const { return dataLength_; }
    int32_t EccLength() const { return eccLength_; }
    int32_t BaseExponent() const { return baseExponent_; }

    // Coefficient of x^i of the generator polynomial; throws std::out_of_range
    // for i outside 0..1023.
    int32_t GeneratorCoef(int32_t i) const;

    // Sets the geometry and builds g(x) = (x - a^b)(x - a^(b+1))...(x - a^(b+ecc-1)).
    // A field passed in replaces the stored one at once, even if a later check
    // fails; null keeps the stored field. alpha 0 takes the stored Alpha, then
    // the field's Generator. Returns false, keeping the previous geometry, for
    // dataLength <= 0, eccLength <= 0, dataLength + eccLength > 1024, a
    // negative base exponent, no field, or no primitive element.
    bool InitCoder(int32_t dataLength, int32_t eccLength,
                   std::shared_ptr<const clsFiniteField> field, int32_t alpha, int32_t baseExponent);

    // Fills codeword[0 .. EccLength-1] from the data entries above them.
    // Throws std::out_of_range when the array cannot hold EccLength+DataLength
    // entries (then nothing is read or written).
    void Encode(std::span<int32_t> codeword) const;

private:
    std::shared_ptr<const clsFiniteField> field_;
    int32_t alpha_ = 0;
    int32_t dataLength_ = 0;
    int32_t eccLength_ = 0;
    int32_t baseExponent_ = 0;
    std::array<int32_t, kMaxBlock> generatorPoly_{};

    // Log-domain form of g(x) for GF(2^m), built by InitCoder: the logarithm of
    // each coefficient (-1 for 0) and Generator^k for k = 0 .. 2(q-1) - 1, so
    // that c * g[k] is one table read at log(c) + log(g[k]) without a modulo.
    // Encode then gives the same symbols as through Multiply and Subtract.
    // They are only used while the coder holds the field they were built from,
    // unchanged; the exponent table is rebuilt only when that field changes.
    struct FieldKey {
        const clsFiniteField* field = nullptr;
        int32_t size = 0, polynomial = 0, generator = 0;
        bool operator==(const FieldKey&) const = default;
    };
    static FieldKey KeyOf(const clsFiniteField& f) { return {&f, f.Size(), f.Polynomial(), f.Generator()}; }
    FieldKey logDomainKey_;
    std::array<int32_t, kMaxBlock> generatorLog_{};
    std::vector<int32_t> expTwice_;
};

} // namespace zarvex::ecc
