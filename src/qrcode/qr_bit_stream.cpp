// Segmentation of the message into numeric, alphanumeric, byte and Kanji
// segments by dynamic programming, and the bit stream of those segments.
//
// For every byte position and mode the table keeps only the cheapest way found
// to end there in that mode (its cost in bits, headers included, and the length
// of the current run). The state is position and mode only, so the result is
// short but not always the shortest possible stream; the exact costs and
// tie-breaks below are part of the encoder's behaviour.
#include "qrcode/qr_code.h"
#include "qrcode/qr_bits.h"

#include <array>
#include <cassert>
#include <stdexcept>

namespace zarvex::qrcode {

namespace {

// Mode numbers: also the tie-break order (lower wins on equal cost).
enum Mode : int8_t { kByte = 0, kNumeric = 1, kAlnum = 2, kKanji = 3 };
constexpr int kModes = 4;

// Cost of a mode that cannot encode the byte; far above any real stream, and
// low enough that adding a start cost cannot overflow.
constexpr int32_t kInfinity = 0x70000000;

// Count-indicator widths, largest counts and costs depend only on the version
// group, numbered e = 2 (versions 1-9), 4 (10-26) or 6 (27-40).
struct Group {
    int32_t e;
    int32_t countBits[kModes];
    int32_t maxCount[kModes]; // units (bytes, digits, characters) one count indicator holds
    int32_t startCost[kModes]; // indicator, count indicator and the first unit

    explicit Group(int32_t version) : e(version < 10 ? 2 : version < 27 ? 4 : 6)
    {
        countBits[kByte] = e == 2 ? 8 : 16;
        countBits[kNumeric] = e + 8;
        countBits[kAlnum] = e + 7;
        countBits[kKanji] = e + 6;
        for (int m = 0; m < kModes; ++m)
            maxCount[m] = (1 << countBits[m]) - 1;
        startCost[kByte] = 20 + 2 * (e & 4);
        startCost[kNumeric] = e + 16;
        startCost[kAlnum] = e + 17;
        startCost[kKanji] = e + 23;
    }
    int32_t CountBits(int mode) const { return countBits[mode]; }
    int32_t MaxCount(int mode) const { return maxCount[mode]; }

    // One more unit, given the run so far: digits pack 3 in 10 bits (4 + 3 + 3),
    // alphanumeric characters 2 in 11 bits (6 + 5).
    static int32_t ContinueCost(int mode, int32_t run)
    {
        switch (mode) {
        case kByte: return 8;
        case kNumeric: return run % 3 == 0 ? 4 : 3;
        case kAlnum: return run % 2 == 0 ? 6 : 5;
        default: return 13;
        }
    }
};

// CharClass of every byte value, for the hot loop.
constexpr std::array<uint8_t, 256> MakeClassTable()
{
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        if (b >= '0' && b <= '9')
            t[static_cast<size_t>(b)] = 1;
        else if ((b >= 'A' && b <= 'Z') || b == ' ' || b == '$' || b == '%' || b == '*' || b == '+' || b == '-'
                 || b == '.' || b == '/' || b == ':')
            t[static_cast<size_t>(b)] = 2;
    }
    return t;
}
constexpr std::array<uint8_t, 256> kClass = MakeClassTable();

constexpr uint8_t kIndicator[kModes] = {0b0100, 0b0001, 0b0010, 0b1000};

struct Cell {
    int32_t cost;
    int32_t run;
};
using Row = std::array<Cell, kModes>;

// Fills the cheapest-cost table one position at a time. Only the last two rows
// are kept (Kanji looks back two bytes); the predecessor modes, which the trace
// back needs, go to `predecessors` when it is given (kModes per position).
// Returns the end mode with the smallest cost and that cost.
std::pair<int, int32_t> Segment(std::span<const uint8_t> data, int32_t n, const Group& group,
                                int8_t* predecessors)
{
    Row rows[3]{}; // ring of rows t, t-1, t-2
    for (int32_t t = 0; t < n; ++t) {
        Row& row = rows[t % 3];
        const Row& back1 = rows[(t + 2) % 3];
        const Row& back2 = rows[(t + 1) % 3];
        const uint8_t b = data[static_cast<size_t>(t)];
        const int32_t cls = kClass[b];
        const bool encodable[kModes] = {true, cls == 1, cls != 0,
                                        t >= 1 && clsQRCode::IsKanjiPair(data[static_cast<size_t>(t - 1)], b)};
        int8_t* const preds = predecessors ? predecessors + static_cast<size_t>(t) * kModes : nullptr;
        for (int mode = 0; mode < kModes; ++mode) {
            int8_t pred = -1;
            Cell cell{kInfinity, 0};
            if (encodable[mode]) {
                const int32_t first = mode == kKanji ? 1 : 0;
                if (t == first) {
                    cell = {group.startCost[mode], 1};
                } else {
                    // A Kanji entry at t stands for the pair t-1, t. Candidates
                    // are taken in mode order and only a strictly smaller one
                    // replaces the best, so the lowest mode wins a tie.
                    const Row& prev = mode == kKanji ? back2 : back1;
                    const int32_t start = group.startCost[mode];
                    int32_t best = INT32_MAX;
                    for (int o = 0; o < kModes; ++o) {
                        const Cell& p = prev[static_cast<size_t>(o)];
                        const bool continues = o == mode && p.run < group.maxCount[mode];
                        const int32_t candidate = p.cost + (continues ? Group::ContinueCost(mode, p.run) : start);
                        if (candidate < best) {
                            best = candidate;
                            pred = static_cast<int8_t>(o);
                            cell = {candidate, continues ? p.run + 1 : 1};
                        }
                    }
                }
            }
            row[static_cast<size_t>(mode)] = cell;
            if (preds)
                preds[mode] = pred;
        }
    }

    const Row& last = rows[(n - 1) % 3];
    int endMode = 0;
    for (int mode = 1; mode < kModes; ++mode) {
        if (last[static_cast<size_t>(mode)].cost < last[static_cast<size_t>(endMode)].cost)
            endMode = mode;
    }
    return {endMode, last[static_cast<size_t>(endMode)].cost};
}

class BitWriter {
public:
    explicit BitWriter(std::span<uint8_t> bits) : bits_(bits) {}
    void Put(int32_t value, int32_t count)
    {
        for (int32_t i = count - 1; i >= 0; --i)
            bits_[pos_++] = static_cast<uint8_t>((value >> i) & 1);
    }
    void PutByte(uint8_t value)
    {
        // The caller checked the whole stream's length against the buffer.
        bits::StoreCodeword(bits_.data() + pos_, value);
        pos_ += 8;
    }
    int32_t Position() const { return static_cast<int32_t>(pos_); }

private:
    std::span<uint8_t> bits_;
    size_t pos_ = 0;
};

void WriteSegment(BitWriter& out, const Group& group, int mode, const uint8_t* bytes, int32_t count)
{
    out.Put(kIndicator[mode], 4);
    switch (mode) {
    case kByte:
        out.Put(count, group.CountBits(mode));
        for (int32_t i = 0; i < count; ++i)
            out.PutByte(bytes[i]);
        break;
    case kNumeric: {
        out.Put(count, group.CountBits(mode));
        int32_t i = 0;
        for (; i + 3 <= count; i += 3)
            out.Put((bytes[i] & 0x0F) * 100 + (bytes[i + 1] & 0x0F) * 10 + (bytes[i + 2] & 0x0F), 10);
        if (count - i == 2)
            out.Put((bytes[i] & 0x0F) * 10 + (bytes[i + 1] & 0x0F), 7);
        else if (count - i == 1)
            out.Put(bytes[i] & 0x0F, 4);
        break;
    }
    case kAlnum: {
        out.Put(count, group.CountBits(mode));
        int32_t i = 0;
        for (; i + 2 <= count; i += 2)
            out.Put(clsQRCode::AlnumValue(bytes[i]) * 45 + clsQRCode::AlnumValue(bytes[i + 1]), 11);
        if (i < count)
            out.Put(clsQRCode::AlnumValue(bytes[i]), 6);
        break;
    }
    default: // Kanji: count is in bytes here, two per character
        out.Put(count / 2, group.CountBits(mode));
        for (int32_t i = 0; i + 1 < count; i += 2) {
            const int32_t hi = bytes[i], lo = bytes[i + 1];
            const int32_t h = hi <= 0x9F ? hi - 0x81 : hi - 0xC1;
            out.Put(h * 0xC0 + (lo - 0x40), 13);
        }
        break;
    }
}

} // namespace

int32_t clsQRCode::CharClass(uint8_t b)
{
    return kClass[b];
}

int32_t clsQRCode::AlnumValue(uint8_t b)
{
    if (b >= '0' && b <= '9')
        return b - 48;
    if (b >= 'A' && b <= 'Z')
        return b - 55;
    switch (b) {
    case ' ': return 36;
    case '$': return 37;
    case '%': return 38;
    case '*': return 39;
    case '+': return 40;
    case '-': return 41;
    case '.': return 42;
    case '/': return 43;
    case ':': return 44;
    default: return 0;
    }
}

bool clsQRCode::IsKanjiPair(uint8_t first, uint8_t second)
{
    // Exactly the Shift JIS pairs whose 13-bit Kanji value fits in 13 bits.
    if (second < 0x40)
        return false;
    if (first >= 0x81 && first <= 0x9F)
        return true;
    if (first >= 0xE0 && first <= 0xEA)
        return true;
    return first == 0xEB && second <= 0xBF;
}

int32_t clsQRCode::MakeBitStream(std::span<uint8_t> bits, std::span<const uint8_t> data, int32_t length,
                                 int32_t version, bool measureOnly) const
{
    if (length > 0 && static_cast<size_t>(length) > data.size())
        throw std::out_of_range("clsQRCode::MakeBitStream: length larger than the data");
    if (length <= 0) {
        // The empty stream: just the terminator, in either mode.
        if (bits.size() < 4)
            throw std::out_of_range("clsQRCode::MakeBitStream: bit buffer too small");
        std::fill_n(bits.begin(), 4, uint8_t{0});
        return 4;
    }

    const Group group(version);
    if (measureOnly)
        return Segment(data, length, group, nullptr).second + 4;

    // Writing: the same table, keeping every position's predecessor modes, and
    // after them one traced mode per byte (one allocation for both).
    const auto n = static_cast<size_t>(length);
    const std::unique_ptr<int8_t[]> work(new int8_t[n * (kModes + 1)]);
    int8_t* const predecessors = work.get();
    int8_t* const modes = work.get() + n * kModes;
    const auto [endMode, cost] = Segment(data, length, group, predecessors);
    const int32_t total = cost + 4;
    if (total > static_cast<int32_t>(bits.size()))
        throw std::out_of_range("clsQRCode::MakeBitStream: the stream would run past the bit buffer");

    // Trace back one mode per byte; a Kanji entry covers its position and the
    // one before.
    int mode = endMode;
    for (ptrdiff_t pos = length - 1; pos >= 0;) {
        modes[pos] = static_cast<int8_t>(mode);
        const int8_t pred = predecessors[static_cast<size_t>(pos) * kModes + static_cast<size_t>(mode)];
        if (mode == kKanji) {
            modes[pos - 1] = kKanji;
            pos -= 2;
        } else {
            pos -= 1;
        }
        mode = pred;
    }

    // Cut into segments, each the longest run of one mode within what its count
    // indicator can hold (for Kanji in bytes, two per character), and write them.
    BitWriter out(bits);
    for (int32_t start = 0; start < length;) {
        const int m = modes[start];
        const int32_t limit = m == kKanji ? 2 * group.MaxCount(m) : group.MaxCount(m);
        int32_t end = start + 1;
        while (end < length && modes[end] == m && end - start < limit)
            ++end;
        WriteSegment(out, group, m, data.data() + start, end - start);
        start = end;
    }
    out.Put(0, 4); // terminator
    assert(out.Position() == total);
    return out.Position();
}

} // namespace zarvex::qrcode
