// The encoder's stages against worked values of the standard and the
// encoder's own segmentation rules.
#include "qrcode/qr_code.h"

#include <gtest/gtest.h>

#include <random>
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

std::string Strip(std::string s)
{
    std::erase(s, ' ');
    return s;
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

std::vector<int32_t> AlignmentCentres(int32_t version)
{
    // Read the centres back from a drawn matrix: dark modules on row 6 whose
    // neighbours two to either side are dark and one to either side light.
    const int32_t size = clsQRCode::SymbolSize(version);
    std::vector<uint8_t> m(static_cast<size_t>(size * size), 0);
    clsQRCode::DrawFunctionPatterns(m, size, version);
    auto at = [&](int32_t x, int32_t y) { return m[static_cast<size_t>(y * size + x)]; };
    std::vector<int32_t> centres{6};
    for (int32_t c = 8; c <= size - 7; ++c) {
        // Column c holds an alignment pattern centred on row c (on the diagonal grid).
        if (at(c, c) == 1 && at(c - 1, c) == 2 && at(c + 1, c) == 2 && at(c - 2, c) == 1 && at(c, c - 1) == 2)
            centres.push_back(c);
    }
    return centres;
}

} // namespace

TEST(QrGeometry, ModuleAndCodewordCounts)
{
    EXPECT_EQ(clsQRCode::DataModuleCount(1), 208);
    EXPECT_EQ(clsQRCode::DataModuleCount(2), 359);
    EXPECT_EQ(clsQRCode::DataModuleCount(7), 1568);
    EXPECT_EQ(clsQRCode::DataModuleCount(14), 4651);
    EXPECT_EQ(clsQRCode::DataModuleCount(40), 29648);
    EXPECT_EQ(clsQRCode::CodewordCount(1), 26);
    EXPECT_EQ(clsQRCode::CodewordCount(2), 44);
    EXPECT_EQ(clsQRCode::CodewordCount(14), 581);
    EXPECT_EQ(clsQRCode::CodewordCount(40), 3706);
    EXPECT_EQ(clsQRCode::AlignmentCount(1), 1);
    EXPECT_EQ(clsQRCode::AlignmentCount(7), 3);

    // Data codewords per level at both ends of the range.
    const int32_t v1[] = {19, 16, 13, 9}, v40[] = {2956, 2334, 1666, 1276};
    for (int32_t level = 1; level <= 4; ++level) {
        EXPECT_EQ(clsQRCode::DataCodewordCount(1, level), v1[level - 1]);
        EXPECT_EQ(clsQRCode::DataCodewordCount(40, level), v40[level - 1]);
    }
    EXPECT_THROW((void)clsQRCode::EccBlockCount(41, 1), std::out_of_range);
    EXPECT_THROW((void)clsQRCode::EccBlockCount(1, 0), std::out_of_range);

    // Every version and level: the remainder modules are 0, 3, 4 or 7, and
    // the blocks divide the data codewords as the standard's Table 9 says.
    for (int32_t v = 1; v <= 40; ++v) {
        const int32_t rest = clsQRCode::DataModuleCount(v) % 8;
        EXPECT_TRUE(rest == 0 || rest == 3 || rest == 4 || rest == 7) << "version " << v;
        for (int32_t level = 1; level <= 4; ++level) {
            const int32_t blocks = clsQRCode::EccBlockCount(v, level);
            EXPECT_LT(clsQRCode::DataCodewordCount(v, level) / blocks + 1 + clsQRCode::EccCodewordsPerBlock(v, level),
                      154);
            if (v > 1)
                EXPECT_GT(clsQRCode::DataCodewordCount(v, level), clsQRCode::DataCodewordCount(v - 1, level));
        }
    }
}

TEST(QrGeometry, AlignmentPatternCentres)
{
    EXPECT_EQ(AlignmentCentres(2), (std::vector<int32_t>{6, 18}));
    EXPECT_EQ(AlignmentCentres(7), (std::vector<int32_t>{6, 22, 38}));
    EXPECT_EQ(AlignmentCentres(32), (std::vector<int32_t>{6, 34, 60, 86, 112, 138}));
    EXPECT_EQ(AlignmentCentres(33), (std::vector<int32_t>{6, 30, 58, 86, 114, 142}));
    EXPECT_EQ(AlignmentCentres(40), (std::vector<int32_t>{6, 30, 58, 86, 114, 142, 170}));
}

TEST(QrFunctionPatterns, VersionOneLayout)
{
    std::vector<uint8_t> m(24 * 24, 0);
    clsQRCode::DrawFunctionPatterns(m, 24, 1);
    auto at = [&](int x, int y) { return m[static_cast<size_t>(y * 24 + x)]; };
    // Timing on row 6 between the separators, the dark module, a format module.
    EXPECT_EQ(std::vector<int>({at(8, 6), at(9, 6), at(10, 6), at(11, 6), at(12, 6)}),
              std::vector<int>({1, 2, 1, 2, 1}));
    EXPECT_EQ(at(8, 13), 1);
    EXPECT_EQ(at(13, 8), 2);
    // Finder: dark corner, light ring, dark centre, light separator.
    EXPECT_EQ(at(0, 0), 1);
    EXPECT_EQ(at(1, 1), 2);
    EXPECT_EQ(at(3, 3), 1);
    EXPECT_EQ(at(7, 3), 2);
    EXPECT_EQ(at(20, 20), 0) << "no alignment pattern in version 1";
    // The 208 data modules are exactly the free ones; the stride's extra columns stay 0.
    int free = 0;
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 21; ++x)
            free += at(x, y) == 0;
    EXPECT_EQ(free, 208);

    // The same count for every version: the layout agrees with DataModuleCount.
    for (int32_t v = 2; v <= 40; ++v) {
        const int32_t size = clsQRCode::SymbolSize(v);
        std::vector<uint8_t> mv(static_cast<size_t>(size * size), 0);
        clsQRCode::DrawFunctionPatterns(mv, size, v);
        EXPECT_EQ(std::count(mv.begin(), mv.end(), 0), clsQRCode::DataModuleCount(v)) << "version " << v;
    }
}

TEST(QrBitStream, SingleModeSegments)
{
    EXPECT_EQ(Stream(B("01234567")), Strip("0001 0000001000 0000001100 0101011001 1000011 0000"));
    EXPECT_EQ(Measure(B("HELLO WORLD")), 78);
    EXPECT_EQ(Stream(B("HELLO WORLD")).size(), 78u);
    EXPECT_EQ(Stream({0x93, 0x5F, 0xE4, 0xAA}), Strip("1000 00000010 0110110011111 1101010101010 0000"));
    EXPECT_EQ(Measure(B("hello")), 56);
    EXPECT_EQ(Stream(B("hello")).substr(0, 12), "010000000101");
}

TEST(QrBitStream, TieBreaksFollowTheModeOrder)
{
    // Alphanumeric 1 + numeric 7 (61 bits) wins the tie with all-alphanumeric.
    EXPECT_EQ(Stream(B("A1234567")).substr(0, 13), "0010000000001");
    EXPECT_EQ(Stream(B("A1234567")).size(), 61u);
    // One byte segment of 4 (48 bits) wins the tie with byte 1 + numeric 3.
    EXPECT_EQ(Stream(B("a111")), "0100" "00000100" "01100001" "00110001" "00110001" "00110001" "0000");
    // A + eight digits: 64 bits, cheaper than one alphanumeric segment (67).
    EXPECT_EQ(Stream(B("A12345678")).size(), 64u);
    EXPECT_EQ(Stream(B("A12345678")).substr(19, 4), "0001");
    // 0x93 0x41 then 11111A: byte 1 + alphanumeric 7 (76 bits), not Kanji 1 +
    // alphanumeric 6 (75): the lower mode number wins the equal-cost step.
    const std::string s = Stream({0x93, 0x41, '1', '1', '1', '1', '1', 'A'});
    EXPECT_EQ(s.size(), 76u);
    EXPECT_EQ(s.substr(0, 4), "0100");
    EXPECT_EQ(s.substr(20, 4), "0010");
}

TEST(QrBitStream, LongRunsSplitAtTheCountLimit)
{
    const Bytes a256(256, 'a');
    EXPECT_EQ(Stream(a256, 1).size(), 2076u);
    EXPECT_EQ(Stream(a256, 1).substr(0, 12), "010011111111"); // 255
    EXPECT_EQ(Stream(a256, 10).size(), 2072u);
    const Bytes digits(1024, '7');
    const std::string s = Stream(digits, 1);
    EXPECT_EQ(s.size(), 3446u);
    EXPECT_EQ(s.substr(0, 14), "00011111111111"); // 1023 digits
}

TEST(QrBitStream, EmptyMessageIsTheTerminatorAlone)
{
    clsQRCode qr;
    std::vector<uint8_t> bits(16, 9);
    EXPECT_EQ(qr.MakeBitStream(bits, {}, 0, 1, true), 4);
    EXPECT_EQ(qr.MakeBitStream(bits, {}, -5, 1, false), 4);
    EXPECT_EQ(std::vector<uint8_t>(bits.begin(), bits.begin() + 5), (std::vector<uint8_t>{0, 0, 0, 0, 9}));
}

TEST(QrBitStream, MeasuringAgreesWithWritingForEveryGroup)
{
    // Random mixtures of digits, capitals, lower case and Shift_JIS pairs.
    std::mt19937 rng(2024);
    const std::string alphabet = "0123456789ABCDEFXYZ $%*+-./:abcxyz";
    for (int round = 0; round < 300; ++round) {
        Bytes data;
        const int runs = 1 + static_cast<int>(rng() % 12);
        for (int r = 0; r < runs; ++r) {
            const int kind = static_cast<int>(rng() % 4);
            const int len = 1 + static_cast<int>(rng() % 40);
            for (int i = 0; i < len; ++i) {
                if (kind == 0)
                    data.push_back(static_cast<uint8_t>('0' + rng() % 10));
                else if (kind == 3) {
                    data.push_back(static_cast<uint8_t>(0x88 + rng() % 0x17));
                    data.push_back(static_cast<uint8_t>(0x40 + rng() % 0xBC));
                } else
                    data.push_back(static_cast<uint8_t>(alphabet[rng() % alphabet.size()]));
            }
        }
        for (int32_t version : {1, 10, 27}) {
            ASSERT_EQ(static_cast<int32_t>(Stream(data, version).size()), Measure(data, version))
                << "round " << round << " version " << version;
        }
    }
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

TEST(QrDataCodewords, WorkedExampleAndPadding)
{
    clsQRCode qr;
    std::vector<uint8_t> bits(clsQRCode::kBitBufferSize, 1);
    const Bytes digits = B("01234567");
    const int32_t n = qr.MakeBitStream(bits, digits, 8, 1, false);
    EXPECT_EQ(n, 45);
    clsQRCode::CompleteDataBits(bits, n, 16);
    EXPECT_EQ(Codewords(bits, 16), (std::vector<int>{0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC, 0x11,
                                                     0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11}));

    std::vector<uint8_t> empty(clsQRCode::kBitBufferSize, 1);
    clsQRCode::CompleteDataBits(empty, qr.MakeBitStream(empty, {}, 0, 1, false), 16);
    const auto cw = Codewords(empty, 16);
    EXPECT_EQ(cw[0], 0x00);
    EXPECT_EQ(cw[1], 0xEC);
    EXPECT_EQ(cw[15], 0xEC);
}

TEST(QrDataCodewords, TerminatorIsCutAtTheCapacity)
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

    // Version 1-H: 9 data codewords; 9 digits (48 bits) fit, as do 7 letters
    // (68 bits of segments), 8 letters (76) do not.
    EXPECT_EQ(qr.EncodeToMatrix(B("123456789"), 9, 0, 4, 0)->version, 1);
    EXPECT_TRUE(qr.EncodeToMatrix(Bytes(7, 'a'), 7, 1, 4, 0).has_value());
    EXPECT_FALSE(qr.EncodeToMatrix(Bytes(8, 'a'), 8, 1, 4, 0).has_value());
}

TEST(QrInterleaving, VersionFiveLevelQ)
{
    // 62 data codewords 0..61 in 2 short blocks of 15 and 2 long ones of 16.
    clsQRCode qr;
    std::vector<uint8_t> dataBits(clsQRCode::kBitBufferSize, 0);
    for (int c = 0; c < 62; ++c)
        for (int b = 0; b < 8; ++b)
            dataBits[static_cast<size_t>(8 * c + b)] = static_cast<uint8_t>((c >> (7 - b)) & 1);
    std::vector<uint8_t> codewordBits(clsQRCode::kBitBufferSize, 0);
    qr.InterleaveBlocks(dataBits, codewordBits, 5, 3);
    const auto cw = Codewords(codewordBits, 134);
    EXPECT_EQ(std::vector<int>(cw.begin(), cw.begin() + 8), (std::vector<int>{0, 15, 30, 46, 1, 16, 31, 47}));
    EXPECT_EQ(cw[60], 45);
    EXPECT_EQ(cw[61], 61);
    // The data part is a permutation of 0..61.
    std::vector<int> sorted(cw.begin(), cw.begin() + 62);
    std::sort(sorted.begin(), sorted.end());
    for (int c = 0; c < 62; ++c)
        ASSERT_EQ(sorted[static_cast<size_t>(c)], c);
}

TEST(QrInterleaving, WorkedExampleOfVersionOneLevelM)
{
    clsQRCode qr;
    std::vector<uint8_t> bits(clsQRCode::kBitBufferSize, 0);
    clsQRCode::CompleteDataBits(bits, qr.MakeBitStream(bits, B("01234567"), 8, 1, false), 16);
    std::vector<uint8_t> out(clsQRCode::kBitBufferSize, 0);
    qr.InterleaveBlocks(bits, out, 1, 2);
    const auto cw = Codewords(out, 26);
    EXPECT_EQ(std::vector<int>(cw.begin() + 16, cw.end()),
              (std::vector<int>{0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55}));
}

namespace {

// Reads the two copies of the format information out of a finished symbol.
std::pair<std::string, std::string> FormatCopies(const QrMatrix& s)
{
    const int32_t n = s.size;
    auto bit = [&](int32_t x, int32_t y) { return s.Dark(x, y) ? '1' : '0'; };
    std::string first, second;
    for (int32_t i = 0; i <= 5; ++i)
        first += bit(i, 8);
    first += bit(7, 8);
    first += bit(8, 8);
    first += bit(8, 7);
    for (int32_t i = 5; i >= 0; --i)
        first += bit(8, i);
    for (int32_t i = 0; i <= 6; ++i)
        second += bit(8, n - 1 - i);
    for (int32_t i = 0; i <= 7; ++i)
        second += bit(n - 8 + i, 8);
    return {first, second};
}

std::string VersionBits(const QrMatrix& s, bool lowerLeft)
{
    std::string out; // bit 17 first
    for (int32_t i = 17; i >= 0; --i) {
        const int32_t a = i / 3, b = s.size - 11 + i % 3;
        out += (lowerLeft ? s.Dark(a, b) : s.Dark(b, a)) ? '1' : '0';
    }
    return out;
}

} // namespace

TEST(QrFormatAndVersion, InformationBitsOfFinishedSymbols)
{
    clsQRCode qr;
    const Bytes msg = B("HELLO");
    const struct {
        int32_t level, mask;
        const char* expected;
    } cases[] = {{2, 0, "101010000010010"}, {1, 0, "111011111000100"}, {2, 2, "101111001111100"},
                 {4, 7, "000100000111011"}};
    for (const auto& c : cases) {
        const auto s = qr.EncodeToMatrix(msg, 5, 1, c.level, c.mask);
        ASSERT_TRUE(s);
        const auto [first, second] = FormatCopies(*s);
        EXPECT_EQ(first, c.expected) << "level " << c.level << " mask " << c.mask;
        EXPECT_EQ(second, c.expected);
        EXPECT_TRUE(s->Dark(8, s->size - 8)) << "dark module";
    }

    const auto v7 = qr.EncodeToMatrix(msg, 5, 7, 2, 0);
    EXPECT_EQ(VersionBits(*v7, true), "000111110010010100");
    EXPECT_EQ(VersionBits(*v7, false), "000111110010010100");
    const auto v40 = qr.EncodeToMatrix(msg, 5, 40, 2, 0);
    EXPECT_EQ(VersionBits(*v40, true), "101000110001101001");
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
        EXPECT_EQ(FormatCopies(*s).first, "101010000010010");
    }
    EXPECT_FALSE(qr.EncodeToMatrix(msg, 11, -1, 2, 0));
    EXPECT_EQ(qr.EncodeToMatrix(msg, 11, 41, 2, 0)->version, 1) << "above 40 is automatic";
    // Mask choice takes finished symbols only.
    QrMatrix cut = *qr.EncodeToMatrix(msg, 11, 1, 2, 0);
    cut.modules.resize(10);
    for (const QrMatrix& bad : {QrMatrix{}, cut}) {
        EXPECT_THROW((void)clsQRCode::MaskPenalties(bad), std::invalid_argument);
        QrMatrix copy = bad;
        EXPECT_THROW(clsQRCode::Remask(copy, 1), std::invalid_argument);
    }

    // 17 lower-case letters do not fit 1-H; automatic picks version 3.
    const Bytes letters(17, 'q');
    EXPECT_FALSE(qr.EncodeToMatrix(letters, 17, 1, 4, 0));
    EXPECT_EQ(qr.EncodeToMatrix(letters, 17, 0, 4, 0)->version, 3);

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

TEST(QrEncode, VersionOneMatrixShape)
{
    clsQRCode qr;
    const auto s = qr.EncodeToMatrix(B("01234567"), 8, 1, 2, 0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->size, 21);
    EXPECT_EQ(s->modules.size(), 24u * 24u);
    for (int32_t i = 0; i < 24; ++i) {
        for (int32_t j = 21; j < 24; ++j) {
            EXPECT_FALSE(s->Dark(j, i));
            EXPECT_FALSE(s->Dark(i, j));
        }
    }
    for (uint8_t m : s->modules)
        ASSERT_LE(m, 1);
}

TEST(QrEncode, ResultsDoNotDependOnEarlierCalls)
{
    clsQRCode reused, fresh;
    (void)reused.EncodeToMatrix(Bytes(2000, 'z'), 2000, 0, 1, 5); // leaves a large geometry behind
    const Bytes msg = B("same input, same symbol");
    const auto a = reused.EncodeToMatrix(msg, static_cast<int32_t>(msg.size()), 3, 3, 4);
    const auto b = fresh.EncodeToMatrix(msg, static_cast<int32_t>(msg.size()), 3, 3, 4);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->modules, b->modules);
}
