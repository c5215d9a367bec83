// The module matrix: function patterns, placement of the codeword bits along
// the two-column zig-zag, the eight mask patterns, and the BCH-coded format
// and version information.
//
// While a symbol is built a function-matrix module holds 0 (free for data),
// 1 (dark function module) or 2 (light function module, or reserved for
// format or version information).
#include "qrcode/qr_code.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace zarvex::qrcode {

namespace {

constexpr uint8_t kDark = 1;
constexpr uint8_t kLight = 2;

// Generators of the standard: x^12+x^11+x^10+x^9+x^8+x^5+x^2+1 for the version
// information, x^10+x^8+x^5+x^4+x^2+x+1 for the format information, whose
// 15 bits are then XORed with 101010000010010 so that they are never all zero.
constexpr int32_t kVersionGenerator = 0x1F25;
constexpr int32_t kFormatGenerator = 0x537;
constexpr int32_t kFormatMask = 0x5412;

class MatrixRef {
public:
    MatrixRef(std::span<uint8_t> m, int32_t stride, int32_t size) : m_(m), stride_(stride)
    {
        if (stride < size || static_cast<int64_t>(m.size()) < int64_t{stride} * size)
            throw std::out_of_range("clsQRCode: matrix smaller than the symbol");
    }
    uint8_t& operator()(int32_t x, int32_t y)
    {
        return m_[static_cast<size_t>(y) * static_cast<size_t>(stride_) + static_cast<size_t>(x)];
    }

private:
    std::span<uint8_t> m_;
    int32_t stride_;
};

void DrawAlignmentPattern(MatrixRef& m, int32_t cx, int32_t cy)
{
    // Dark centre and dark 5x5 border, light ring between.
    for (int32_t dy = -2; dy <= 2; ++dy) {
        for (int32_t dx = -2; dx <= 2; ++dx) {
            const bool dark = (dx == 0 && dy == 0) || dx == 2 || dx == -2 || dy == 2 || dy == -2;
            m(cx + dx, cy + dy) = dark ? kDark : kLight;
        }
    }
}

} // namespace

void clsQRCode::DrawFunctionPatterns(std::span<uint8_t> matrix, int32_t stride, int32_t version)
{
    if (version < 1 || version > 40)
        return;
    const int32_t size = SymbolSize(version);
    MatrixRef m(matrix, stride, size);

    // 1. Finder patterns (dark 7x7 border, light ring, dark 3x3 centre) with
    //    their light separator, in three corners.
    for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            const bool light = ((x == 1 || x == 5) && y >= 1 && y <= 5) || ((y == 1 || y == 5) && x >= 1 && x <= 5)
                || x == 7 || y == 7;
            const uint8_t v = light ? kLight : kDark;
            m(x, y) = v;
            m(size - 1 - x, y) = v;
            m(x, size - 1 - y) = v;
        }
    }
    // 2. Format information areas, reserved.
    for (int32_t i = 0; i < 8; ++i) {
        m(i, 8) = kLight;
        m(8, i) = kLight;
        m(size - 1 - i, 8) = kLight;
        m(8, size - 1 - i) = kLight;
    }
    m(8, 8) = kLight;
    // 3. The dark module beside the bottom-left finder.
    m(8, size - 8) = kDark;
    // 4. Version information areas, reserved: 6x3 above the bottom-left finder, 3x6 left of the top-right one.
    if (version >= 7) {
        for (int32_t y = size - 11; y <= size - 9; ++y) {
            for (int32_t x = 0; x <= 5; ++x) {
                m(x, y) = kLight;
                m(y, x) = kLight;
            }
        }
    }
    // 5. Timing patterns on row and column 6.
    for (int32_t j = 8; j <= size - 9; ++j) {
        const uint8_t v = j % 2 == 0 ? kDark : kLight;
        m(j, 6) = v;
        m(6, j) = v;
    }
    // 6. Alignment patterns on the grid of centres counted back from size - 7,
    //    plus those on row and column 6, less the three under the finders.
    if (version >= 2) {
        const int32_t step = AlignmentStep(version);
        int32_t centres[7];
        int32_t count = 0;
        for (int32_t c = size - 7; c >= 18; c -= step)
            centres[count++] = c;
        for (int32_t i = 0; i < count; ++i) {
            for (int32_t j = 0; j < count; ++j)
                DrawAlignmentPattern(m, centres[i], centres[j]);
            if (centres[i] != size - 7) {
                DrawAlignmentPattern(m, centres[i], 6);
                DrawAlignmentPattern(m, 6, centres[i]);
            }
        }
    }
}

void clsQRCode::PlaceCodewords(std::span<const uint8_t> functionMatrix, int32_t stride, std::span<uint8_t> dataMatrix,
                               int32_t size, std::span<const uint8_t> codewordBits, int32_t bitCount)
{
    if (static_cast<int64_t>(functionMatrix.size()) < int64_t{stride} * size || stride < size
        || static_cast<int64_t>(dataMatrix.size()) < int64_t{size} * size
        || static_cast<int64_t>(codewordBits.size()) < bitCount)
        throw std::out_of_range("clsQRCode::PlaceCodewords: buffer smaller than the symbol");

    // Column pairs from the right edge leftwards, skipping the vertical timing
    // pattern in column 6; upward first, then alternating; in each row the
    // right module before the left one; function modules are stepped over.
    const uint8_t* const bitsIn = codewordBits.data();
    int32_t b = 0;
    bool upward = true;
    for (int32_t right = size - 1; right >= 1 && b < bitCount; right -= 2) {
        if (right == 6)
            right = 5;
        for (int32_t i = 0; i < size && b < bitCount; ++i) {
            const int32_t y = upward ? size - 1 - i : i;
            const uint8_t* f = functionMatrix.data() + static_cast<ptrdiff_t>(y) * stride;
            uint8_t* d = dataMatrix.data() + static_cast<ptrdiff_t>(y) * size;
            if (f[right] == 0)
                d[right] = bitsIn[b++];
            if (f[right - 1] == 0 && b < bitCount)
                d[right - 1] = bitsIn[b++];
        }
        upward = !upward;
    }
}

int32_t clsQRCode::ApplyMask(std::span<uint8_t> matrix, int32_t size, int32_t mask)
{
    if (size < 0 || static_cast<int64_t>(matrix.size()) < int64_t{size} * size)
        throw std::out_of_range("clsQRCode::ApplyMask: matrix smaller than the symbol");
    if (mask < 0 || mask > 7)
        mask = 0;
    // Every condition depends on the row only through i mod 2, i mod 3 and
    // i / 2 mod 2, so the rows repeat every 12: build those once, then invert
    // each row by its pattern. The whole matrix is inverted; the merge takes
    // only the free modules from it.
    constexpr int32_t kPeriod = 12;
    constexpr int32_t kLargestSize = 177;
    if (size > kLargestSize)
        throw std::out_of_range("clsQRCode::ApplyMask: larger than a version 40 symbol");
    std::array<uint8_t, kPeriod * kLargestSize> patterns;
    const int32_t rows = std::min(kPeriod, size);
    // Module condition with i the row and j the column (ISO/IEC 18004 Table 10),
    // chosen once so that the loops carry no switch.
    auto build = [&](auto condition) {
        for (int32_t i = 0; i < rows; ++i)
            for (int32_t j = 0; j < size; ++j)
                patterns[static_cast<size_t>(i * size + j)] = condition(i, j) ? 1 : 0;
    };
    switch (mask) {
    case 0: build([](int32_t i, int32_t j) { return (i + j) % 2 == 0; }); break;
    case 1: build([](int32_t i, int32_t) { return i % 2 == 0; }); break;
    case 2: build([](int32_t, int32_t j) { return j % 3 == 0; }); break;
    case 3: build([](int32_t i, int32_t j) { return (i + j) % 3 == 0; }); break;
    case 4: build([](int32_t i, int32_t j) { return (i / 2 + j / 3) % 2 == 0; }); break;
    case 5: build([](int32_t i, int32_t j) { return (i * j) % 2 + (i * j) % 3 == 0; }); break;
    case 6: build([](int32_t i, int32_t j) { return ((i * j) % 2 + (i * j) % 3) % 2 == 0; }); break;
    default: build([](int32_t i, int32_t j) { return ((i + j) % 2 + (i * j) % 3) % 2 == 0; }); break;
    }
    for (int32_t i = 0; i < size; ++i) {
        uint8_t* row = matrix.data() + static_cast<ptrdiff_t>(i) * size;
        const uint8_t* pattern = patterns.data() + static_cast<ptrdiff_t>(i % kPeriod) * size;
        for (int32_t j = 0; j < size; ++j)
            row[j] ^= pattern[j];
    }
    return mask;
}

void clsQRCode::WriteVersionInformation(std::span<uint8_t> matrix, int32_t stride, int32_t version)
{
    if (version < 7 || version > 40)
        throw std::out_of_range("clsQRCode: version information exists for versions 7..40 only");
    const int32_t size = SymbolSize(version);
    MatrixRef m(matrix, stride, size);
    // 6 bits of version, then the 12-bit BCH remainder; no XOR mask.
    const int32_t w = version * 4096 + BchRemainder(version, kVersionGenerator, 4096, 12);
    for (int32_t i = 0; i < 18; ++i) {
        const auto bit = static_cast<uint8_t>((w >> i) & 1);
        const int32_t a = i / 3, b = size - 11 + i % 3;
        m(a, b) = bit;
        m(b, a) = bit;
    }
}

void clsQRCode::WriteFormatInformation(std::span<uint8_t> matrix, int32_t stride, int32_t size, int32_t level,
                                       int32_t mask)
{
    MatrixRef m(matrix, stride, size);
    // Level indicator L 01, M 00, Q 11, H 10, then the 3 mask bits.
    const int32_t d = (((level - 1) ^ 1) << 3) | (mask & 7);
    const int32_t f = ((d << 10) | BchRemainder(d, kFormatGenerator, 1024, 10)) ^ kFormatMask;
    auto bit = [f](int32_t i) { return static_cast<uint8_t>((f >> i) & 1); };

    // First copy around the top-left finder: bits 14..9 along row 8, then
    // bit 8 at (7, 8) past the timing column, bit 7 at the corner (8, 8),
    // bit 6 at (8, 7), bits 5..0 up column 8.
    for (int32_t i = 0; i <= 5; ++i)
        m(i, 8) = bit(14 - i);
    m(7, 8) = bit(8);
    m(8, 8) = bit(7);
    m(8, 7) = bit(6);
    for (int32_t i = 0; i <= 5; ++i)
        m(8, i) = bit(i);

    // Second copy: bits 14..8 up column 8 from the bottom (beside the
    // bottom-left finder), bits 7..0 along row 8 to the right edge.
    for (int32_t i = 0; i <= 6; ++i)
        m(8, size - 1 - i) = bit(14 - i);
    for (int32_t i = 0; i <= 7; ++i)
        m(size - 8 + i, 8) = bit(7 - i);
}

} // namespace zarvex::qrcode
