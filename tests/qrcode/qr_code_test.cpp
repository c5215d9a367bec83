// The encoder's stages, one worked value each, and the rules that the
// comparison with the peer encoder cannot see (it only ever uses one byte
// segment): segmentation, the terminator at the capacity, argument ranges.
#include "qrcode/qr_code.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using zarvex::qrcode::clsQRCode;
using zarvex::qrcode::QrMatrix;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string BitString(const std::vector<uint8_t>& bits, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += static_cast<char>('0' + bits[i]);
    return out;
}

// The written bit stream as a string of '0'/'1'; measuring must give its length.
std::string Stream(const Bytes& data, int32_t version = 1)
{
    clsQRCode qr;
    std::vector<uint8_t> bits(clsQRCode::kBitBufferSize, 9);
    const auto n = static_cast<int32_t>(data.size());
    const int32_t length = qr.MakeBitStream(bits, data, n, version, false);
    EXPECT_EQ(qr.MakeBitStream(bits, data, n, version, true), length) << "measured";
    return BitString(bits, static_cast<size_t>(length));
}

} // namespace

TEST(QrBitStream, SegmentsOfTheCheapestModes)
{
    // Mode indicator, count, data: the stream starts with `start` and has
    // `length` bits (terminator included), written and measured alike.
    const struct {
        Bytes data;
        int32_t version;
        size_t length;
        std::string start;
    } cases[] = {
        // The standard's numeric example, bit for bit.
        {B("01234567"), 1, 45, "0001" "0000001000" "0000001100" "0101011001" "1000011" "0000"},
        // Two Shift_JIS pairs are one Kanji segment.
        {{0x93, 0x5F, 0xE4, 0xAA}, 1, 42, "1000" "00000010" "0110110011111" "1101010101010" "0000"},
        // Ties go to the lower mode number: alphanumeric 1 + numeric 7 (61
        // bits) over all alphanumeric; one byte segment of 4 over byte 1 +
        // numeric 3 (both 48); 0x93 0x41 then 11111A as byte 1 + alphanumeric
        // 7 (76), not Kanji 1 + alphanumeric 6 (75): at the step of equal
        // cost the lower mode number wins.
        {B("A1234567"), 1, 61, "0010" "000000001"},
        {B("a111"), 1, 48, "0100" "00000100" "01100001" "00110001" "00110001" "00110001" "0000"},
        {{0x93, 0x41, '1', '1', '1', '1', '1', 'A'}, 1, 76, "0100" "00000001" "10010011" "0010"},
        // A and eight digits: 64 bits, cheaper than one alphanumeric segment (67).
        {B("A12345678"), 1, 64, "0010" "000000001" "001010" "0001"},
        // Runs longer than the count field allows are split: 255 + 1 bytes,
        // 1023 + 1 digits; from version 10 the count has 16 bits.
        {Bytes(256, 'a'), 1, 2076, "0100" "11111111"},
        {Bytes(256, 'a'), 10, 2072, "0100" "0000000100000000"},
        {Bytes(1024, '7'), 1, 3446, "0001" "1111111111"},
    };
    for (const auto& c : cases) {
        const std::string s = Stream(c.data, c.version);
        EXPECT_EQ(s.size(), c.length) << s.substr(0, 40);
        EXPECT_EQ(s.substr(0, c.start.size()), c.start) << c.length;
    }
    std::vector<uint8_t> bits(8, 9);
    EXPECT_EQ(clsQRCode().MakeBitStream(bits, {}, -5, 1, false), 4) << "a negative length is an empty message";
    EXPECT_EQ(bits, (std::vector<uint8_t>{0, 0, 0, 0, 9, 9, 9, 9}));
}

TEST(QrWorkedExample, CodewordsAndFormatInformationOfVersionOneLevelM)
{
    // Data codewords with the pad codewords, then the Reed-Solomon ones.
    clsQRCode qr;
    std::vector<uint8_t> bits(clsQRCode::kBitBufferSize, 1);
    clsQRCode::CompleteDataBits(bits, qr.MakeBitStream(bits, B("01234567"), 8, 1, false), 16);
    std::vector<uint8_t> out(clsQRCode::kBitBufferSize, 0);
    qr.InterleaveBlocks(bits, out, 1, 2);
    std::vector<int> codewords(26, 0);
    for (size_t i = 0; i < 8 * codewords.size(); ++i)
        codewords[i / 8] = codewords[i / 8] << 1 | out[i];
    EXPECT_EQ(codewords, (std::vector<int>{0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC,
                                           0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xA5, 0x24,
                                           0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55}));

    // Mask 0: the format information beside the top-left finder (placement
    // and the version information are compared module for module with the
    // peer: QrEveryVersion).
    const auto s = qr.EncodeToMatrix(B("01234567"), 8, 1, 2, 0);
    std::string format;
    for (int32_t i : {0, 1, 2, 3, 4, 5, 7, 8})
        format += s->Dark(i, 8) ? '1' : '0';
    for (int32_t i : {7, 5, 4, 3, 2, 1, 0})
        format += s->Dark(8, i) ? '1' : '0';
    EXPECT_EQ(format, "101010000010010");
}

TEST(QrCodewords, TerminatorIsCutAtTheCapacity)
{
    // A stream of N bits (terminator included) in a buffer of ones, D data codewords.
    const struct {
        int32_t n, d;
        std::string start;
    } cases[] = {
        {20, 2, "1111111111111111" "1111"}, // N = 8D + 4: the terminator is cut, nothing written
        {18, 2, "1111111111111111" "1111"},
        {14, 2, "11111111111111" "00" "1111"}, // zero bits to the codeword boundary, no room for a pad codeword
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bits(40, 1);
        clsQRCode::CompleteDataBits(bits, c.n, c.d);
        EXPECT_EQ(BitString(bits, c.start.size()), c.start) << c.n;
    }
    // 34 digits are 128 bits of segments (132 with the terminator): version 1-M holds 16 data codewords.
    clsQRCode qr;
    EXPECT_EQ(qr.EncodeToMatrix(Bytes(34, '9'), 34, 0, 2, 0)->version, 1);
    EXPECT_FALSE(qr.EncodeToMatrix(Bytes(35, '9'), 35, 1, 2, 0));
}

TEST(QrEncode, ArgumentsOutsideTheirRangesAndRefusals)
{
    clsQRCode qr;
    const Bytes msg = B("HELLO WORLD");
    // A level outside 1-4 means M, a mask outside 0-7 means 0.
    for (const auto& [level, mask] : {std::pair{0, 0}, {5, 0}, {-3, 0}, {2, -1}, {2, 8}, {2, 100}}) {
        const auto s = qr.EncodeToMatrix(msg, 11, 1, level, mask);
        EXPECT_EQ(std::pair(s->level, s->mask), std::pair(2, 0)) << level << " " << mask;
        EXPECT_EQ(s->modules, qr.EncodeToMatrix(msg, 11, 1, 2, 0)->modules);
    }
    EXPECT_FALSE(qr.EncodeToMatrix(msg, 11, -1, 2, 0));
    EXPECT_EQ(qr.EncodeToMatrix(msg, 11, 41, 2, 0)->version, 1) << "above 40 is automatic";
    EXPECT_THROW((void)clsQRCode::EccBlockCount(41, 1), std::out_of_range);
    EXPECT_THROW((void)clsQRCode::EccBlockCount(1, 0), std::out_of_range);
    // Mask choice takes finished symbols only.
    QrMatrix cut = *qr.EncodeToMatrix(msg, 11, 1, 2, 0);
    cut.modules.resize(10);
    for (const QrMatrix& bad : {QrMatrix{}, cut}) {
        EXPECT_THROW((void)clsQRCode::MaskPenalties(bad), std::invalid_argument);
        QrMatrix copy = bad;
        EXPECT_THROW(clsQRCode::Remask(copy, 1), std::invalid_argument);
    }

    // An empty message is a version 1 symbol; only `length` bytes are read.
    EXPECT_EQ(qr.EncodeToMatrix({}, 0, 0, 2, 0)->version, 1);
    EXPECT_EQ(qr.EncodeToMatrix(msg, 5, 0, 2, 0)->modules, qr.EncodeToMatrix(B("HELLO"), 5, 0, 2, 0)->modules);
    // A length past the data is the caller's mistake, not a read past the array.
    EXPECT_THROW((void)qr.EncodeToMatrix(msg, 12, 0, 2, 0), std::out_of_range);
    // A bit buffer too small for the stream (or the data) is refused, unwritten.
    std::vector<uint8_t> small(200, 9);
    EXPECT_THROW((void)qr.MakeBitStream(small, Bytes(100, 'a'), 100, 1, false), std::out_of_range);
    EXPECT_EQ(small, std::vector<uint8_t>(200, 9));
    EXPECT_THROW((void)qr.MakeBitStream(small, Bytes(100, 'a'), 101, 1, true), std::out_of_range);

    // A fixed version with a stream longer than the bit buffer gives no symbol
    // (5000 bytes are 40000 bits), and so does the automatic one.
    const Bytes huge(5000, 'x');
    EXPECT_FALSE(qr.EncodeToMatrix(huge, 5000, 40, 1, 0));
    EXPECT_FALSE(qr.EncodeToMatrix(huge, 5000, 0, 1, 0));
}
