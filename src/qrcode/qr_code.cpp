#include "qrcode/qr_code.h"
#include "qrcode/qr_bits.h"

#include <array>
#include <cassert>
#include <memory>
#include <stdexcept>

namespace zarvex::qrcode {

namespace {

// ISO/IEC 18004 Table 9, indexed [version - 1][level - 1] with levels L, M, Q, H.
constexpr uint8_t kEccBlockCount[40][4] = {
    {1, 1, 1, 1},     {1, 1, 1, 1},     {1, 1, 2, 2},     {1, 2, 2, 4},     {1, 2, 4, 4},
    {2, 4, 4, 4},     {2, 4, 6, 5},     {2, 4, 6, 6},     {2, 5, 8, 8},     {4, 5, 8, 8},
    {4, 5, 8, 11},    {4, 8, 10, 11},   {4, 9, 12, 16},   {4, 9, 16, 16},   {6, 10, 12, 18},
    {6, 10, 17, 16},  {6, 11, 16, 19},  {6, 13, 18, 21},  {7, 14, 21, 25},  {8, 16, 20, 25},
    {8, 17, 23, 25},  {9, 17, 23, 34},  {9, 18, 25, 30},  {10, 20, 27, 32}, {12, 21, 29, 35},
    {12, 23, 34, 37}, {12, 25, 34, 40}, {13, 26, 35, 42}, {14, 28, 38, 45}, {15, 29, 40, 48},
    {16, 31, 43, 51}, {17, 33, 45, 54}, {18, 35, 48, 57}, {19, 37, 51, 60}, {19, 38, 53, 63},
    {20, 40, 56, 66}, {21, 43, 59, 70}, {22, 45, 62, 74}, {24, 47, 65, 77}, {25, 49, 68, 81},
};

constexpr uint8_t kEccCodewordsPerBlock[40][4] = {
    {7, 10, 13, 17},  {10, 16, 22, 28}, {15, 26, 18, 22}, {20, 18, 26, 16}, {26, 24, 18, 22},
    {18, 16, 24, 28}, {20, 18, 18, 26}, {24, 22, 22, 26}, {30, 22, 20, 24}, {18, 26, 24, 28},
    {20, 30, 28, 24}, {24, 22, 26, 28}, {26, 22, 24, 22}, {30, 24, 20, 24}, {22, 24, 30, 24},
    {24, 28, 24, 30}, {28, 28, 28, 28}, {30, 26, 28, 28}, {28, 26, 26, 26}, {28, 26, 30, 28},
    {28, 26, 28, 30}, {28, 28, 30, 24}, {30, 28, 30, 30}, {30, 28, 30, 30}, {26, 28, 30, 30},
    {28, 28, 28, 30}, {30, 28, 30, 30}, {30, 28, 30, 30}, {30, 28, 30, 30}, {30, 28, 30, 30},
    {30, 28, 30, 30}, {30, 28, 30, 30}, {30, 28, 30, 30}, {30, 28, 30, 30}, {30, 28, 30, 30},
    {30, 28, 30, 30}, {30, 28, 30, 30}, {30, 28, 30, 30}, {30, 28, 30, 30}, {30, 28, 30, 30},
};

// Distance between neighbouring alignment-pattern centres, counted back from
// the centre at size - 7; these rules give exactly the positions of the
// standard's Annex E. Versions 1-6 never reach a second centre.
constexpr std::array<uint8_t, 40> MakeAlignmentSteps()
{
    std::array<uint8_t, 40> steps{};
    for (int v = 1; v <= 40; ++v) {
        int step = 255;
        if (v >= 35)
            step = v / 3 * 2 + 2;
        else if (v >= 28)
            step = v / 3 * 2 + 6;
        else if (v >= 21)
            step = (v + 2) & ~1;
        else if (v >= 14)
            step = (2 * v + 4) / 3 * 2;
        else if (v >= 7)
            step = 2 * v + 2;
        steps[static_cast<size_t>(v - 1)] = static_cast<uint8_t>(step);
    }
    return steps;
}
constexpr std::array<uint8_t, 40> kAlignmentStep = MakeAlignmentSteps();

void CheckVersion(int32_t version)
{
    if (version < 1 || version > 40)
        throw std::out_of_range("clsQRCode: version outside 1..40");
}

void CheckLevel(int32_t level)
{
    if (level < 1 || level > 4)
        throw std::out_of_range("clsQRCode: level outside 1..4");
}

// A bit buffer that is fully written before it is read: allocated once per
// call, never zeroed.
std::unique_ptr<uint8_t[]> NewBitBuffer()
{
    return std::unique_ptr<uint8_t[]>(new uint8_t[clsQRCode::kBitBufferSize]);
}

} // namespace

clsQRCode::clsQRCode() : field_(std::make_shared<ecc::clsFiniteField>())
{
    // GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1 (285) and primitive element 2: the
    // field of the standard's Reed-Solomon code.
    [[maybe_unused]] const bool ok = field_->InitField(256, 285, 2);
    assert(ok);
}

int32_t clsQRCode::AlignmentCount(int32_t version)
{
    CheckVersion(version);
    return version == 1 ? 1 : version / 7 + 2;
}

int32_t clsQRCode::DataModuleCount(int32_t version)
{
    const int32_t s = SymbolSize(version);
    const int32_t n = AlignmentCount(version);
    // All modules less finders with separators, timing, format areas and the dark module (191)...
    int32_t count = s * (s - 2) - 191;
    // ...less the alignment patterns net of their overlap with the timing patterns...
    if (n > 1)
        count -= (25 * n - 10) * n - 55;
    // ...less the two 3x6 version information areas.
    if (n >= 3)
        count -= 36;
    return count;
}

int32_t clsQRCode::BchRemainder(int32_t value, int32_t generator, int32_t top, int32_t degree)
{
    for (int32_t i = 0; i < degree; ++i) {
        value *= 2;
        if (value & top)
            value = (value ^ generator) & (top - 1);
    }
    return value;
}

int32_t clsQRCode::AlignmentStep(int32_t version)
{
    CheckVersion(version);
    return kAlignmentStep[static_cast<size_t>(version - 1)];
}

int32_t clsQRCode::EccBlockCount(int32_t version, int32_t level)
{
    CheckVersion(version);
    CheckLevel(level);
    return kEccBlockCount[version - 1][level - 1];
}

int32_t clsQRCode::EccCodewordsPerBlock(int32_t version, int32_t level)
{
    CheckVersion(version);
    CheckLevel(level);
    return kEccCodewordsPerBlock[version - 1][level - 1];
}

int32_t clsQRCode::ChooseVersion(std::span<uint8_t> bits, std::span<const uint8_t> data, int32_t length,
                                 int32_t level) const
{
    // Count-indicator widths are fixed within each group, so one measurement
    // per group decides all its versions; a later group is measured only when
    // every version of the earlier one was too small.
    static constexpr int32_t kGroups[3][2] = {{1, 9}, {10, 26}, {27, 40}};
    for (const auto& group : kGroups) {
        const int32_t n = MakeBitStream(bits, data, length, group[0], true);
        for (int32_t v = group[0]; v <= group[1]; ++v) {
            // The segments must fit; the terminator may be cut short.
            if (8 * DataCodewordCount(v, level) >= n - 4)
                return v;
        }
    }
    return 0;
}

void clsQRCode::CompleteDataBits(std::span<uint8_t> bits, int32_t streamLength, int32_t dataCodewords)
{
    const int32_t capacity = 8 * dataCodewords;
    if (capacity > static_cast<int32_t>(bits.size()))
        throw std::out_of_range("clsQRCode: bit buffer smaller than the data capacity");
    if (streamLength >= capacity)
        return; // the terminator is cut at the capacity; nothing follows it
    int32_t pos = streamLength;
    while (pos % 8 != 0)
        bits[static_cast<size_t>(pos++)] = 0;
    // Pad codewords 11101100 and 00010001 alternately, 0xEC first.
    for (int32_t pad = 0; pos < capacity; pad ^= 1, pos += 8)
        bits::StoreCodeword(bits.data() + pos, pad == 0 ? 0xEC : 0x11);
}

std::optional<QrMatrix> clsQRCode::EncodeToMatrix(std::span<const uint8_t> data, int32_t length,
                                                  int32_t version, int32_t level, int32_t mask)
{
    if (length > 0 && static_cast<size_t>(length) > data.size())
        throw std::out_of_range("clsQRCode::EncodeToMatrix: length larger than the data");
    if (level < 1 || level > 4)
        level = kLevelM;
    if (version < 0)
        return std::nullopt;

    const auto dataBits = NewBitBuffer();
    const std::span<uint8_t> dataSpan(dataBits.get(), kBitBufferSize);

    // 1. The version: the caller's, or the smallest that holds the data.
    if (version == 0 || version > 40) {
        version = ChooseVersion(dataSpan, data, length, level);
        if (version == 0)
            return std::nullopt;
    }

    // 2. Segments and terminator. Only a fixed version can ask for a stream
    //    longer than the buffer, and such a stream fits no symbol anyway.
    int32_t streamLength = 0;
    try {
        streamLength = MakeBitStream(dataSpan, data, length, version, false);
    } catch (const std::out_of_range&) {
        return std::nullopt;
    }

    // 3. Capacity test, then terminator truncation and pad codewords.
    const int32_t dataCodewords = DataCodewordCount(version, level);
    if (8 * dataCodewords < streamLength - 4)
        return std::nullopt;
    CompleteDataBits(dataSpan, streamLength, dataCodewords);

    // 4. Blocks, error correction and interleaving.
    const auto codewordBits = NewBitBuffer();
    const std::span<uint8_t> codewordSpan(codewordBits.get(), kBitBufferSize);
    InterleaveBlocks(dataSpan, codewordSpan, version, level);

    // 5. Function patterns, then the codewords in the free modules.
    QrMatrix symbol;
    symbol.version = version;
    symbol.level = level;
    symbol.size = SymbolSize(version);
    const int32_t size = symbol.size;
    const int32_t stride = symbol.Stride();
    symbol.modules.assign(static_cast<size_t>(stride) * static_cast<size_t>(stride), 0);
    DrawFunctionPatterns(symbol.modules, stride, version);

    std::vector<uint8_t> dataMatrix(static_cast<size_t>(size) * static_cast<size_t>(size), 0);
    PlaceCodewords(symbol.modules, stride, dataMatrix, size, codewordSpan, 8 * CodewordCount(version));

    // 6. Mask, then merge: function modules keep their value, free modules take
    //    the masked data; reserved modules (2) become light until step 7.
    symbol.mask = ApplyMask(dataMatrix, size, mask);
    for (int32_t y = 0; y < size; ++y) {
        uint8_t* row = symbol.modules.data() + static_cast<ptrdiff_t>(y) * stride;
        const uint8_t* dataRow = dataMatrix.data() + static_cast<ptrdiff_t>(y) * size;
        for (int32_t x = 0; x < size; ++x) {
            // 0 (free) takes the data bit, 1 stays dark, 2 becomes light.
            const uint8_t f = row[x];
            row[x] = static_cast<uint8_t>((f & 1) | (dataRow[x] & (f == 0 ? 1 : 0)));
        }
    }

    // 7. Version information (7 and up) and format information.
    if (version >= 7)
        WriteVersionInformation(symbol.modules, stride, version);
    WriteFormatInformation(symbol.modules, stride, size, level, symbol.mask);
    return symbol;
}

} // namespace zarvex::qrcode
