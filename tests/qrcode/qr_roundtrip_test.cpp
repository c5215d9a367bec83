// Symbols read back by independent decoders (zbar in binary mode, zxing-cpp),
// and compared module for module with two peer encoders.
#include "qrcode/fake_bar_code.h"
#include "qrcode/qr_code.h"
#include "qrcode/text_bytes.h"
#include "support/qr_readers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace zarvex::qrcode;
using zarvex::test::Bytes;

namespace {

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Largest number of lower-case letters (one byte segment) a version holds.
int32_t ByteCapacity(int32_t version, int32_t level)
{
    const int32_t countBits = version < 10 ? 8 : 16;
    return (8 * clsQRCode::DataCodewordCount(version, level) - 4 - countBits) / 8;
}

Bytes Letters(int32_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out(static_cast<size_t>(n));
    for (auto& b : out)
        b = static_cast<uint8_t>('a' + rng() % 26);
    return out;
}

std::optional<QImage> Encode(const Bytes& data, int32_t version, int32_t level, int32_t mask)
{
    clsQRCode qr;
    return EncodeToPicture(qr, data, static_cast<int32_t>(data.size()), version, level, mask);
}

} // namespace

// Every version and level, each with one of the masks, filled to the last byte
// its capacity allows; one byte more gives no symbol.
class FullCapacity : public ::testing::TestWithParam<int32_t> {};

TEST_P(FullCapacity, ReadBackExactlyAtEveryLevel)
{
    const int32_t version = GetParam();
    for (int32_t level = 1; level <= 4; ++level) {
        const int32_t mask = (version + level) % 8;
        const int32_t n = ByteCapacity(version, level);
        const Bytes data = Letters(n, static_cast<uint32_t>(version * 10 + level));
        const auto picture = Encode(data, version, level, mask);
        ASSERT_TRUE(picture) << "version " << version << " level " << level;
        EXPECT_EQ(picture->width(), clsQRCode::SymbolSize(version) + 8);
        EXPECT_EQ(zarvex::test::DecodeWithZbar(*picture), data)
            << "zbar, version " << version << " level " << level << " mask " << mask;
        if (version % 5 == 0)
            EXPECT_EQ(zarvex::test::DecodeWithZxing(*picture), data) << "zxing, version " << version;

        Bytes oneMore = data;
        oneMore.push_back('a');
        EXPECT_FALSE(Encode(oneMore, version, level, mask)) << "one byte over, version " << version;
        // Automatic choice takes this version for a full load (the one below is too small).
        clsQRCode qr;
        EXPECT_EQ(qr.EncodeToMatrix(data, n, 0, level, mask)->version, version);
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, FullCapacity, ::testing::Range(1, 41),
                         [](const ::testing::TestParamInfo<int32_t>& p) { return "v" + std::to_string(p.param); });

TEST(QrRoundTrip, MixedSegmentsWithKanji)
{
    // Numeric, alphanumeric, byte and Kanji segments in one message; zbar in
    // binary mode returns the Kanji as the Shift_JIS pairs that went in.
    const Bytes kanji = TextToBytes("監視点の警告", TextEncoding::ShiftJis);
    ASSERT_EQ(kanji.size(), 12u);
    Bytes data = B("ORDER 12345678901234567890 ");
    data.insert(data.end(), kanji.begin(), kanji.end());
    const Bytes tail = B(" lower case, then 3141592653589793 and HTTP://EXAMPLE.COM/A");
    data.insert(data.end(), tail.begin(), tail.end());

    for (int32_t level = 1; level <= 4; ++level) {
        const auto picture = Encode(data, 0, level, 3);
        ASSERT_TRUE(picture);
        EXPECT_EQ(zarvex::test::DecodeWithZbar(*picture), data) << "level " << level;
        EXPECT_EQ(zarvex::test::DecodeWithZxing(*picture), data) << "level " << level;
    }
}

TEST(QrRoundTrip, RandomMessagesOfAllKinds)
{
    std::mt19937 rng(42);
    const std::string alnum = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    for (int round = 0; round < 60; ++round) {
        Bytes data;
        const int parts = 1 + static_cast<int>(rng() % 6);
        for (int p = 0; p < parts; ++p) {
            const int len = 1 + static_cast<int>(rng() % 60);
            for (int i = 0; i < len; ++i) {
                switch (p % 3) {
                case 0: data.push_back(static_cast<uint8_t>('0' + rng() % 10)); break;
                case 1: data.push_back(static_cast<uint8_t>(alnum[rng() % alnum.size()])); break;
                default: data.push_back(static_cast<uint8_t>(rng() % 256)); break;
                }
            }
        }
        const int32_t level = 1 + static_cast<int32_t>(rng() % 4);
        const int32_t mask = static_cast<int32_t>(rng() % 8);
        const auto picture = Encode(data, 0, level, mask);
        ASSERT_TRUE(picture);
        EXPECT_EQ(zarvex::test::DecodeWithZxing(*picture, 2), data) << "round " << round;
    }
}

// For a message that is one byte segment, the symbol is fully determined by
// the standard once version, level and mask are fixed: both peers must agree
// with us on every module.
TEST(QrPeers, ByteSegmentsMatchLibqrencodeAndQrcodegenModuleForModule)
{
    clsQRCode qr;
    for (int32_t version = 1; version <= 40; ++version) {
        for (int32_t level = 1; level <= 4; ++level) {
            const int32_t mask = (3 * version + level) % 8;
            const int32_t n = std::max(1, ByteCapacity(version, level) - static_cast<int32_t>(version % 3));
            const Bytes data = Letters(n, static_cast<uint32_t>(version + 100 * level));
            const auto ours = qr.EncodeToMatrix(data, n, version, level, mask);
            ASSERT_TRUE(ours);
            for (const auto& [name, peer] :
                 {std::pair{"libqrencode", zarvex::test::EncodeWithQrencode(data, version, level, mask)},
                  std::pair{"qrcodegen", zarvex::test::EncodeWithQrcodegen(data, version, level, mask)}}) {
                ASSERT_TRUE(peer) << name << " refused version " << version << " level " << level;
                ASSERT_EQ(peer->size, ours->size);
                int differences = 0;
                for (int32_t y = 0; y < ours->size; ++y)
                    for (int32_t x = 0; x < ours->size; ++x)
                        differences += ours->Dark(x, y) != peer->dark[static_cast<size_t>(y * peer->size + x)];
                EXPECT_EQ(differences, 0) << name << ": version " << version << " level " << level << " mask " << mask;
            }
        }
    }
}
