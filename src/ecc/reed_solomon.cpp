#include "ecc/reed_solomon.h"

#include <algorithm>
#include <stdexcept>

namespace zarvex::ecc {

int32_t clsReedSolomon::GeneratorCoef(int32_t i) const
{
    if (i < 0 || i >= kMaxBlock)
        throw std::out_of_range("clsReedSolomon::GeneratorCoef: index outside 0..1023");
    return generatorPoly_[static_cast<size_t>(i)];
}

bool clsReedSolomon::InitCoder(int32_t dataLength, int32_t eccLength,
                               std::shared_ptr<const clsFiniteField> field, int32_t alpha,
                               int32_t baseExponent)
{
    if (int64_t{dataLength} + eccLength > kMaxBlock || dataLength <= 0 || eccLength <= 0
        || baseExponent < 0)
        return false;
    if (field)
        field_ = std::move(field);
    if (!field_)
        return false;
    if (alpha == 0)
        alpha = alpha_;
    if (alpha == 0)
        alpha = field_->Generator();
    if (alpha == 0)
        return false;

    dataLength_ = dataLength;
    eccLength_ = eccLength;
    alpha_ = alpha;
    baseExponent_ = baseExponent;
    const clsFiniteField& f = *field_;

    // p = alpha^b by square-and-multiply over the exponent's bits.
    int32_t p = 1;
    int32_t square = alpha;
    for (int32_t e = baseExponent; e != 0; e >>= 1) {
        if (e & 1)
            p = f.Multiply(p, square);
        if (e > 1)
            square = f.Multiply(square, square);
    }

    // Start from (x - alpha^b), then multiply in place by (x + root) for each
    // further root, root = -alpha^(b+i-1).
    int32_t root = f.Negate(p);
    generatorPoly_.fill(0);
    generatorPoly_[0] = root;
    generatorPoly_[1] = 1;
    for (int32_t i = 2; i <= eccLength; ++i) {
        root = f.Multiply(root, alpha);
        generatorPoly_[static_cast<size_t>(i)] = 1;
        for (int32_t j = i - 1; j >= 1; --j) {
            const auto uj = static_cast<size_t>(j);
            generatorPoly_[uj] = f.Add(generatorPoly_[uj - 1], f.Multiply(generatorPoly_[uj], root));
        }
        generatorPoly_[0] = f.Multiply(generatorPoly_[0], root);
    }

    // In GF(2^m) the products in Encode are read in the log domain.
    if (f.IsBinaryExtension()) {
        const FieldKey key = KeyOf(f);
        if (!(key == logDomainKey_)) {
            const int32_t order = f.Size() - 1;
            expTwice_.resize(static_cast<size_t>(2 * order));
            for (int32_t k = 0; k < order; ++k)
                expTwice_[static_cast<size_t>(k)] = expTwice_[static_cast<size_t>(k + order)] = f.Exp(k);
            logDomainKey_ = key;
        }
        for (int32_t k = 0; k < eccLength; ++k) {
            const int32_t g = generatorPoly_[static_cast<size_t>(k)];
            generatorLog_[static_cast<size_t>(k)] = g == 0 ? -1 : f.Log(g);
        }
    } else {
        logDomainKey_ = {};
    }
    return true;
}

void clsReedSolomon::Encode(std::span<int32_t> codeword) const
{
    const auto ecc = static_cast<size_t>(eccLength_);
    const auto data = static_cast<size_t>(dataLength_);
    if (codeword.size() <= ecc || codeword.size() < ecc + data)
        throw std::out_of_range("clsReedSolomon::Encode: array shorter than EccLength + DataLength");
    if (!field_ || data == 0)
        return; // no geometry yet: nothing to copy, nothing to write
    const clsFiniteField& f = *field_;

    // Work on a copy: the data entries of the caller's array stay untouched.
    // Only the first ecc + data entries are ever read, so only those are set.
    std::array<int32_t, kMaxBlock> work;
    std::fill_n(work.begin(), ecc, 0);
    std::copy_n(codeword.begin() + static_cast<ptrdiff_t>(ecc), data, work.begin() + static_cast<ptrdiff_t>(ecc));

    // Long division by the monic g(x) from the top; the leading coefficient of
    // each step is not cleared, as it is never read again.
    const int32_t order = f.Size() - 1;
    const bool logDomain = logDomainKey_ == KeyOf(f);
    for (size_t i = data; i-- > 0;) {
        const int32_t c = work[ecc + i];
        if (c == 0)
            continue; // subtracting 0 * g(x) changes nothing
        // In GF(2^m) subtraction is XOR and c * g[k] = Exp(log c + log g[k]).
        // A symbol outside the field takes the checked path.
        const int32_t logC = logDomain && c > 0 && c <= order ? f.Log(c) : -1;
        if (logC >= 0) {
            const int32_t* exp = expTwice_.data() + logC;
            for (size_t k = 0; k < ecc; ++k) {
                const int32_t logG = generatorLog_[k];
                if (logG >= 0)
                    work[k + i] ^= exp[logG];
            }
        } else {
            for (size_t k = 0; k < ecc; ++k)
                work[k + i] = f.Subtract(work[k + i], f.Multiply(c, generatorPoly_[k]));
        }
    }
    for (size_t j = 0; j < ecc; ++j)
        codeword[j] = f.Negate(work[j]);
}

} // namespace zarvex::ecc
