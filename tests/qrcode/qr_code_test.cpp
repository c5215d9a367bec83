// The encoder's stages, one worked value each, and the rules that the
// comparison with the peer encoders cannot see (it only ever uses one byte
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

// The written bit stream as a string of '0'/'1'.
std::string Stream(const Bytes& data, int32_t version = 1)
{
    clsQRCode qr;
    std::vector<uint8_t> bits(clsQRCode::kBitBufferSize, 9);
    const int32_t n = qr.MakeBitStream(bits, data, static_cast<int32_t>(data.size()), version, false);
    std::string out;
    for (int32_t i = 0; i < n; ++i)
        out += static_cast<char>('0' + bits[static_cast<size_t>(i)]);
    return out;
}

int32_t Measure(const Bytes& data, int32_t version = 1)
{
    clsQRCode qr;
    std::vector<uint8_t> bits(clsQRCode::kBitBufferSize, 0);
    return qr.MakeBitStream(bits, data, static_cast<int32_t>(data.size()), version, true);
}

std::vector<int> Codewords(const std::vector<uint8_t>& bits, int count)
{
    std::vector<int> out;
    for (int c = 0; c < count; ++c) {
        int v = 0;
        for (int b = 0; b < 8; ++b)
            v = (v << 1) | bits[static_cast<size_t>(8 * c + b)];
        out.push_back(v);
    }
    return out;
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
        {B("HELLO WORLD"), 1, 78, "0010" "000001011"},
        {B("hello"), 1, 56, "0100" "00000101"},
        // Two Shift_JIS pairs are one Kanji segment.
        {{0x93, 0x5F, 0xE4, 0xAA}, 1, 42, "1000" "00000010" "0110110011111" "1101010101010" "0000"},
        {{}, 1, 4, "0000"},
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
        EXPECT_EQ(Measure(c.data, c.version), static_cast<int32_t>(c.length)) << s.substr(0, 40);
    }
    std::vector<uint8_t> bits(8, 9);
    EXPECT_EQ(clsQRCode().MakeBitStream(bits, {}, -5, 1, false), 4) << "a negative length is an empty message";
    EXPECT_EQ(bits, (std::vector<uint8_t>{0, 0, 0, 0, 9, 9, 9, 9}));
}

TEST(QrBitStream, RefusesToReadOrWritePastItsBuffers)
{
    clsQRCode qr;
    const Bytes data(100, 'a');
    std::vector<uint8_t> small(200, 9);
    EXPECT_THROW((void)qr.MakeBitStream(small, data, 100, 1, false), std::out_of_range);
    EXPECT_EQ(small, std::vector<uint8_t>(200, 9)) << "nothing written";
    EXPECT_THROW((void)qr.MakeBitStream(small, data, 101, 1, true), std::out_of_range);
}

TEST(QrCodewords, WorkedExampleOfVersionOneLevelM)
{
    // Data codewords with the pad codewords, then the Reed-Solomon ones.
    clsQRCode qr;
    std::vector<uint8_t> bits(clsQRCode::kBitBufferSize, 1);
    clsQRCode::CompleteDataBits(bits, qr.MakeBitStream(bits, B("01234567"), 8, 1, false), 16);
    std::vector<uint8_t> out(clsQRCode::kBitBufferSize, 0);
    qr.InterleaveBlocks(bits, out, 1, 2);
    EXPECT_EQ(Codewords(out, 26), (std::vector<int>{0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC,
                                                    0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xA5, 0x24,
                                                    0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55}));
}

TEST(QrCodewords, TerminatorIsCutAtTheCapacity)
{
    // Version 1-M holds 16 data codewords (128 bits). 34 digits are a numeric
    // segment of 4 + 10 + 11*10 + 4 = 128 bits: N = 8D + 4 fits, with the
    // terminator left out entirely and no pad codeword.
    clsQRCode qr;
    const Bytes digits34(34, '9');
    std::vector<uint8_t> bits(clsQRCode::kBitBufferSize, 7);
    const int32_t n = qr.MakeBitStream(bits, digits34, 34, 1, false);
    ASSERT_EQ(n, 132);
    clsQRCode::CompleteDataBits(bits, n, 16);
    EXPECT_EQ(Codewords(bits, 16)[15] & 0x0F, 9) << "the last data bits are the last digit";
    EXPECT_TRUE(qr.EncodeToMatrix(digits34, 34, 1, 2, 0).has_value());
    // 35 digits: segments of 131 bits do not fit.
    EXPECT_FALSE(qr.EncodeToMatrix(Bytes(35, '9'), 35, 1, 2, 0).has_value());

    // N = 8D + 2: two terminator bits are kept, nothing is added.
    std::vector<uint8_t> partial(64, 1);
    std::fill_n(partial.begin() + 14, 4, 0);
    clsQRCode::CompleteDataBits(partial, 18, 2);
    EXPECT_EQ(std::vector<uint8_t>(partial.begin() + 12, partial.begin() + 20),
              (std::vector<uint8_t>{1, 1, 0, 0, 0, 0, 1, 1}));
    // N = 8D - 2: two zero bits reach the codeword boundary; no pad codeword fits.
    std::vector<uint8_t> shortOne(64, 1);
    clsQRCode::CompleteDataBits(shortOne, 14, 2);
    EXPECT_EQ(std::vector<uint8_t>(shortOne.begin() + 13, shortOne.begin() + 17),
              (std::vector<uint8_t>{1, 0, 0, 1}));
}

TEST(QrMatrix, PlacementFormatAndVersionInformation)
{
    clsQRCode qr;
    const auto s = qr.EncodeToMatrix(B("01234567"), 8, 1, 2, 0);
    ASSERT_TRUE(s);
    // The first three codewords (0x10 0x20 0x0C) fill the two right-hand
    // columns upward from the bottom-right corner, right column first, under
    // mask 0 (dark where x + y is even).
    std::vector<int> placed(3, 0);
    for (int32_t k = 0; k < 24; ++k) {
        const int32_t x = 20 - k % 2, y = 20 - k / 2;
        int& codeword = placed[static_cast<size_t>(k / 8)];
        codeword = codeword << 1 | (s->Dark(x, y) != ((x + y) % 2 == 0));
    }
    EXPECT_EQ(placed, (std::vector<int>{0x10, 0x20, 0x0C}));

    // Format information of level M, mask 0, beside the top-left finder.
    std::string format;
    for (int32_t i : {0, 1, 2, 3, 4, 5, 7, 8})
        format += s->Dark(i, 8) ? '1' : '0';
    for (int32_t i : {7, 5, 4, 3, 2, 1, 0})
        format += s->Dark(8, i) ? '1' : '0';
    EXPECT_EQ(format, "101010000010010");

    // Version information of version 7, below the top-right finder, bit 17 first.
    const auto v7 = qr.EncodeToMatrix(B("HELLO"), 5, 7, 2, 0);
    std::string version;
    for (int32_t i = 17; i >= 0; --i)
        version += v7->Dark(v7->size - 11 + i % 3, i / 3) ? '1' : '0';
    EXPECT_EQ(version, "000111110010010100");
}

TEST(QrEncode, ArgumentsOutsideTheirRangesAndRefusals)
{
    clsQRCode qr;
    const Bytes msg = B("HELLO WORLD");
    // Level 0 or 5 means M, mask -1 or 8 means 0.
    for (int32_t level : {0, 5, -3}) {
        const auto s = qr.EncodeToMatrix(msg, 11, 1, level, 3);
        EXPECT_EQ(s->level, 2);
        EXPECT_EQ(s->modules, qr.EncodeToMatrix(msg, 11, 1, 2, 3)->modules);
    }
    for (int32_t mask : {-1, 8, 100}) {
        const auto s = qr.EncodeToMatrix(msg, 11, 1, 2, mask);
        EXPECT_EQ(s->mask, 0);
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

    // A fixed version with a stream longer than the bit buffer gives no symbol
    // (5000 bytes are 40000 bits); too much for version 40 gives none too.
    const Bytes huge(5000, 'x');
    EXPECT_FALSE(qr.EncodeToMatrix(huge, 5000, 40, 1, 0));
    EXPECT_FALSE(qr.EncodeToMatrix(huge, 5000, 0, 1, 0));
    EXPECT_FALSE(qr.EncodeToMatrix(huge, 5000, 1, 1, 0));
}
