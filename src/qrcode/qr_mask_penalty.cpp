// Automatic mask choice: the four penalty rules of ISO/IEC 18004:2015
// (7.8.3) for each of the eight masks of a finished symbol.
//
// The symbol is held as bit sets, one per row (bit x) and one per column
// (bit y), at most three 64-bit words each. A mask is applied to a whole row
// or column at once with the periodic mask patterns (rows repeat every 12,
// columns every 6) restricted to the data modules, and the format
// information is written bit by bit. The rules are then evaluated for all
// lines of one direction at once: walking along x over the column sets
// evaluates every row in parallel, and walking along y over the row sets every
// column, so no bit shifts are needed for the runs.
//
// Readings of the rules (the same as other encoders that choose masks):
// N1 = 3 for a run of 5 same-coloured modules in a row or column, plus 1 per
// module beyond 5; N2 = 3 for every 2x2 block of one colour (blocks overlap);
// N3 = 40 for every dark:light:dark:light:dark run pattern of n:n:3n:n:n
// modules with a light run of at least 4n on one side and at least n on the
// other, counted once per qualifying side, the area outside the symbol being
// light; N4 = 10k for the smallest k with (45 - 5k)% <= dark share <= (55 + 5k)%.
#include "qrcode/qr_code.h"

#include <array>
#include <bit>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>

namespace zarvex::qrcode {

namespace {

constexpr int32_t kMaxSize = 177;
constexpr int kMaxWords = 3; // 177 bits
using Bits = std::array<uint64_t, kMaxWords>;

constexpr bool MaskCondition(int32_t mask, int32_t i, int32_t j)
{
    switch (mask) {
    case 0: return (i + j) % 2 == 0;
    case 1: return i % 2 == 0;
    case 2: return j % 3 == 0;
    case 3: return (i + j) % 3 == 0;
    case 4: return (i / 2 + j / 3) % 2 == 0;
    case 5: return (i * j) % 2 + (i * j) % 3 == 0;
    case 6: return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    default: return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
    }
}

struct MaskPatterns {
    Bits row[8][12]; // row i mod 12: bit j set where module (j, i) is inverted
    Bits col[8][6];  // column j mod 6: bit i set where module (j, i) is inverted
};

constexpr MaskPatterns MakeMaskPatterns()
{
    MaskPatterns p{};
    for (int32_t m = 0; m < 8; ++m) {
        for (int32_t i = 0; i < 12; ++i)
            for (int32_t j = 0; j < 64 * kMaxWords; ++j)
                if (MaskCondition(m, i, j))
                    p.row[m][i][static_cast<size_t>(j / 64)] |= uint64_t{1} << (j % 64);
        for (int32_t j = 0; j < 6; ++j)
            for (int32_t i = 0; i < 64 * kMaxWords; ++i)
                if (MaskCondition(m, i, j))
                    p.col[m][j][static_cast<size_t>(i / 64)] |= uint64_t{1} << (i % 64);
    }
    return p;
}
constexpr MaskPatterns kPatterns = MakeMaskPatterns();

// Which modules of a version carry data (and so are masked), as row and column sets.
struct DataModules {
    std::array<Bits, kMaxSize> rows{}, cols{};
};

const DataModules& DataModulesOf(int32_t version)
{
    static std::array<std::once_flag, 40> once;
    static std::array<DataModules, 40> tables;
    const auto v = static_cast<size_t>(version - 1);
    std::call_once(once[v], [&] {
        const int32_t size = clsQRCode::SymbolSize(version);
        std::vector<uint8_t> function(static_cast<size_t>(size) * static_cast<size_t>(size), 0);
        clsQRCode::DrawFunctionPatterns(function, size, version);
        DataModules& t = tables[v];
        for (int32_t y = 0; y < size; ++y)
            for (int32_t x = 0; x < size; ++x)
                if (function[static_cast<size_t>(y * size + x)] == 0) {
                    t.rows[static_cast<size_t>(y)][static_cast<size_t>(x / 64)] |= uint64_t{1} << (x % 64);
                    t.cols[static_cast<size_t>(x)][static_cast<size_t>(y / 64)] |= uint64_t{1} << (y % 64);
                }
    });
    return tables[v];
}

// The 15 format bits' positions: bit `bit` of the format word at (x, y), both copies.
struct FormatModule {
    int32_t x, y, bit;
};

std::array<FormatModule, 30> FormatModules(int32_t size)
{
    std::array<FormatModule, 30> f{};
    size_t k = 0;
    for (int32_t i = 0; i <= 5; ++i)
        f[k++] = {i, 8, 14 - i};
    f[k++] = {7, 8, 8};
    f[k++] = {8, 8, 7};
    f[k++] = {8, 7, 6};
    for (int32_t i = 0; i <= 5; ++i)
        f[k++] = {8, i, i};
    for (int32_t i = 0; i <= 6; ++i)
        f[k++] = {8, size - 1 - i, 14 - i};
    for (int32_t i = 0; i <= 7; ++i)
        f[k++] = {size - 8 + i, 8, 7 - i};
    return f;
}

int32_t FormatWord(int32_t level, int32_t mask)
{
    const int32_t d = (((level - 1) ^ 1) << 3) | (mask & 7);
    return ((d << 10) | clsQRCode::BchRemainder(d, 0x537, 1024, 10)) ^ 0x5412;
}

template <int W>
int PopCount(const uint64_t* a)
{
    int n = 0;
    for (int k = 0; k < W; ++k)
        n += std::popcount(a[k]);
    return n;
}

// One of the two directions. `across[k]` (k = -4 .. size + 10; outside the
// symbol all zero, i.e. light) holds, for every line, the module at position
// k along it: bit l of across[k] is module k of line l. Returns N1 + N3 over
// all lines of this direction; adds N2 to `blocks` when asked. `lines[l]` is
// line l itself (bit k = module k), used only to measure the rare long runs
// of an enlarged finder-like pattern.
template <int W>
int LinePenalties(const uint64_t (*across)[W], const uint64_t (*lines)[W], int32_t size, int* blocks)
{
    uint64_t valid[W], validPairs[W];
    for (int k = 0; k < W; ++k) {
        const int32_t lo = 64 * k;
        valid[k] = size >= lo + 64 ? ~uint64_t{0} : size <= lo ? 0 : (uint64_t{1} << (size - lo)) - 1;
        validPairs[k] = size - 1 >= lo + 64 ? ~uint64_t{0} : size - 1 <= lo ? 0 : (uint64_t{1} << (size - 1 - lo)) - 1;
    }
    auto at = [&](int32_t k) { return across[k + 4]; };

    // eq[k]: module k equals module k + 1, for every line.
    uint64_t eq[kMaxSize][W];
    for (int32_t k = 0; k + 1 < size; ++k)
        for (int w = 0; w < W; ++w)
            eq[k][w] = ~(at(k)[w] ^ at(k + 1)[w]) & valid[w];

    int n1 = 0, n3 = 0, n2 = 0;
    // N1: a run of length L >= 5 holds L - 4 windows of five and one start: L - 2 = 3 + (L - 5).
    for (int32_t k = 0; k + 4 < size; ++k) {
        for (int w = 0; w < W; ++w) {
            const uint64_t window = eq[k][w] & eq[k + 1][w] & eq[k + 2][w] & eq[k + 3][w];
            const uint64_t start = k == 0 ? window : window & ~eq[k - 1][w];
            n1 += std::popcount(window) + 2 * std::popcount(start);
        }
    }
    // N2 on this direction's sets only (it is the same from either side).
    if (blocks) {
        for (int32_t k = 0; k + 1 < size; ++k) {
            // Lines l and l + 1 both equal at k and k + 1, and module k equal on both lines.
            uint64_t alongLine[W], nextLine[W], alongNext[W];
            for (int w = 0; w < W; ++w)
                alongLine[w] = eq[k][w];
            for (int w = 0; w < W; ++w) {
                const uint64_t carry = w + 1 < W ? alongLine[w + 1] << 63 : 0;
                alongNext[w] = (alongLine[w] >> 1) | carry;
                const uint64_t c = at(k)[w];
                const uint64_t cn = (c >> 1) | (w + 1 < W ? at(k)[w + 1] << 63 : 0);
                nextLine[w] = ~(c ^ cn) & validPairs[w];
            }
            for (int w = 0; w < W; ++w)
                n2 += std::popcount(alongLine[w] & alongNext[w] & nextLine[w]);
        }
        *blocks += 3 * n2;
    }
    // N3, n = 1: light, dark, light, dark x3, light, dark, light, with four
    // light modules before or after.
    for (int32_t k = 0; k + 6 < size; ++k) {
        for (int w = 0; w < W; ++w) {
            const uint64_t core = at(k)[w] & ~at(k + 1)[w] & at(k + 2)[w] & at(k + 3)[w] & at(k + 4)[w]
                & ~at(k + 5)[w] & at(k + 6)[w] & ~at(k - 1)[w] & ~at(k + 7)[w];
            if (core == 0)
                continue;
            const uint64_t before = ~(at(k - 2)[w] | at(k - 3)[w] | at(k - 4)[w]);
            const uint64_t after = ~(at(k + 8)[w] | at(k + 9)[w] | at(k + 10)[w]);
            n3 += std::popcount(core & before) + std::popcount(core & after);
        }
    }
    // N3, n >= 2: rare, so found by a cheap filter (two light, then six dark
    // modules) and measured on the line itself.
    for (int32_t k = 4; k + 5 < size; ++k) {
        for (int w = 0; w < W; ++w) {
            uint64_t cand = ~at(k - 2)[w] & ~at(k - 1)[w] & at(k)[w] & at(k + 1)[w] & at(k + 2)[w] & at(k + 3)[w]
                & at(k + 4)[w] & at(k + 5)[w];
            while (cand) {
                const int32_t l = 64 * w + std::countr_zero(cand);
                cand &= cand - 1;
                const uint64_t* line = lines[l];
                auto dark = [&](int32_t i) { return i >= 0 && i < size && ((line[i / 64] >> (i % 64)) & 1) != 0; };
                // Length of the run of colour c starting at i going by step d (outside: light without end).
                auto run = [&](int32_t i, bool c, int32_t d) {
                    int32_t n = 0;
                    while (dark(i) == c && (c || (i >= 0 && i < size))) {
                        ++n;
                        i += d;
                    }
                    return !c && (i < 0 || i >= size) ? n + 4 * kMaxSize : n;
                };
                const int32_t centre = run(k, true, 1);
                if (centre % 3 != 0)
                    continue;
                const int32_t n = centre / 3;
                const int32_t e = k + centre;
                if (run(k - 1, false, -1) != n || run(k - n - 1, true, -1) != n || run(e, false, 1) != n
                    || run(e + n, true, 1) != n)
                    continue;
                const int32_t before = run(k - 2 * n - 1, false, -1), after = run(e + 2 * n, false, 1);
                n3 += (before >= 4 * n && after >= n ? 1 : 0) + (after >= 4 * n && before >= n ? 1 : 0);
            }
        }
    }
    return n1 + 40 * n3;
}

template <int W>
std::array<int32_t, 8> Penalties(const QrMatrix& symbol)
{
    const int32_t size = symbol.size;
    const int32_t stride = symbol.Stride();
    const DataModules& data = DataModulesOf(symbol.version);
    const auto format = FormatModules(size);

    // The symbol without its mask and format information.
    uint64_t baseRows[kMaxSize][W] = {}, baseCols[kMaxSize][W] = {};
    for (int32_t y = 0; y < size; ++y) {
        const uint8_t* row = symbol.modules.data() + static_cast<ptrdiff_t>(y) * stride;
        for (int32_t x = 0; x < size; ++x) {
            const uint64_t b = row[x] & 1u;
            baseRows[y][x / 64] |= b << (x % 64);
            baseCols[x][y / 64] |= b << (y % 64);
        }
    }
    const int32_t oldMask = symbol.mask & 7;
    for (int32_t i = 0; i < size; ++i)
        for (int w = 0; w < W; ++w) {
            baseRows[i][w] ^= kPatterns.row[oldMask][i % 12][static_cast<size_t>(w)] & data.rows[static_cast<size_t>(i)][static_cast<size_t>(w)];
            baseCols[i][w] ^= kPatterns.col[oldMask][i % 6][static_cast<size_t>(w)] & data.cols[static_cast<size_t>(i)][static_cast<size_t>(w)];
        }
    for (const auto& f : format) {
        baseRows[f.y][f.x / 64] &= ~(uint64_t{1} << (f.x % 64));
        baseCols[f.x][f.y / 64] &= ~(uint64_t{1} << (f.y % 64));
    }

    std::array<int32_t, 8> penalties{};
    // Four light lines before and eleven after, so the patterns can look past the edges.
    uint64_t rows[kMaxSize + 15][W] = {}, cols[kMaxSize + 15][W] = {};
    for (int32_t mask = 0; mask < 8; ++mask) {
        for (int32_t i = 0; i < size; ++i)
            for (int w = 0; w < W; ++w) {
                rows[i + 4][w] = baseRows[i][w] ^ (kPatterns.row[mask][i % 12][static_cast<size_t>(w)] & data.rows[static_cast<size_t>(i)][static_cast<size_t>(w)]);
                cols[i + 4][w] = baseCols[i][w] ^ (kPatterns.col[mask][i % 6][static_cast<size_t>(w)] & data.cols[static_cast<size_t>(i)][static_cast<size_t>(w)]);
            }
        const int32_t word = FormatWord(symbol.level, mask);
        for (const auto& f : format) {
            const uint64_t b = static_cast<uint64_t>((word >> f.bit) & 1);
            rows[f.y + 4][f.x / 64] |= b << (f.x % 64);
            cols[f.x + 4][f.y / 64] |= b << (f.y % 64);
        }
        // Rows are evaluated walking along x over the columns, columns along y over the rows.
        int blocks = 0;
        int score = LinePenalties<W>(cols, rows + 4, size, &blocks);
        score += blocks + LinePenalties<W>(rows, cols + 4, size, nullptr);
        int dark = 0;
        for (int32_t i = 0; i < size; ++i)
            dark += PopCount<W>(rows[i + 4]);
        const int total = size * size;
        const int k = (std::abs(dark * 20 - total * 10) + total - 1) / total - 1;
        penalties[static_cast<size_t>(mask)] = score + 10 * k;
    }
    return penalties;
}

// The tables above hold versions 1-40 only, and the modules must cover the
// symbol: anything else would be read or written out of bounds.
void RequireFinishedSymbol(const QrMatrix& symbol, const char* what)
{
    if (symbol.version < 1 || symbol.version > 40 || symbol.size != clsQRCode::SymbolSize(symbol.version)
        || symbol.level < 1 || symbol.level > 4
        || symbol.modules.size() < static_cast<size_t>(symbol.Stride()) * static_cast<size_t>(symbol.Stride()))
        throw std::invalid_argument(std::string(what) + ": not a finished symbol");
}

} // namespace

std::array<int32_t, 8> clsQRCode::MaskPenalties(const QrMatrix& symbol)
{
    RequireFinishedSymbol(symbol, "clsQRCode::MaskPenalties");
    if (symbol.size <= 64)
        return Penalties<1>(symbol);
    if (symbol.size <= 128)
        return Penalties<2>(symbol);
    return Penalties<3>(symbol);
}

int32_t clsQRCode::BestMask(const QrMatrix& symbol)
{
    const auto penalties = MaskPenalties(symbol);
    int32_t best = 0;
    for (int32_t m = 1; m < 8; ++m)
        if (penalties[static_cast<size_t>(m)] < penalties[static_cast<size_t>(best)])
            best = m;
    return best;
}

void clsQRCode::Remask(QrMatrix& symbol, int32_t mask)
{
    if (mask < 0 || mask > 7)
        throw std::out_of_range("clsQRCode::Remask: mask outside 0..7");
    RequireFinishedSymbol(symbol, "clsQRCode::Remask");
    if (mask == symbol.mask)
        return;
    const DataModules& data = DataModulesOf(symbol.version);
    const int32_t stride = symbol.Stride();
    const int32_t oldMask = symbol.mask & 7;
    for (int32_t y = 0; y < symbol.size; ++y) {
        uint8_t* row = symbol.modules.data() + static_cast<ptrdiff_t>(y) * stride;
        const Bits& flip0 = kPatterns.row[oldMask][y % 12];
        const Bits& flip1 = kPatterns.row[mask][y % 12];
        const Bits& free = data.rows[static_cast<size_t>(y)];
        for (int w = 0; w < kMaxWords && 64 * w < symbol.size; ++w) {
            uint64_t flip = (flip0[static_cast<size_t>(w)] ^ flip1[static_cast<size_t>(w)]) & free[static_cast<size_t>(w)];
            while (flip) {
                row[64 * w + std::countr_zero(flip)] ^= 1;
                flip &= flip - 1;
            }
        }
    }
    symbol.mask = mask;
    WriteFormatInformation(symbol.modules, stride, symbol.size, symbol.level, mask);
}

std::optional<QrMatrix> clsQRCode::EncodeWithBestMask(std::span<const uint8_t> data, int32_t length, int32_t version,
                                                      int32_t level)
{
    auto symbol = EncodeToMatrix(data, length, version, level, 0);
    if (symbol)
        Remask(*symbol, BestMask(*symbol));
    return symbol;
}

} // namespace zarvex::qrcode
