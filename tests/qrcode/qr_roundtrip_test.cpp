// Symbols read back by an independent decoder (zxing-cpp), and compared
// module for module with a peer encoder (qrcodegen), the automatic mask included.
#include "qrcode/fake_bar_code.h"
#include "qrcode/qr_code.h"
#include "support/qr_readers.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <string>

using namespace zarvex::qrcode;
using zarvex::test::Bytes;
using zarvex::test::EncodeWithQrcodegen;
using zarvex::test::PeerSymbol;

namespace {

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

// Every mask's penalty for four symbols of the sweep below (one, two and
// three 64-bit words per line), as a plain transcription of the four rules
// gave them; v6 and v33 hold enlarged finder-like runs (n >= 2).
const std::map<std::pair<int32_t, int32_t>, std::array<int32_t, 8>> kPenalties = {
    {{1, 1}, {1255, 1224, 1107, 1199, 1283, 1096, 1111, 1077}},
    {{6, 3}, {1976, 2083, 1740, 1786, 1939, 2087, 1990, 1762}},
    {{14, 4}, {4794, 5070, 3700, 4594, 4731, 4243, 4456, 4654}},
    {{33, 1}, {19485, 18643, 12615, 15716, 15626, 15671, 15260, 16286}},
};

void ExpectSameModules(const std::optional<QrMatrix>& ours, const std::optional<PeerSymbol>& peer,
                       const std::string& where)
{
    ASSERT_TRUE(ours && peer) << where;
    ASSERT_EQ(peer->size, ours->size) << where;
    EXPECT_EQ(ours->mask, peer->mask) << where;
    int differences = 0;
    for (int32_t y = 0; y < ours->size; ++y)
        for (int32_t x = 0; x < ours->size; ++x)
            differences += ours->Dark(x, y) != peer->dark[static_cast<size_t>(y * peer->size + x)];
    EXPECT_EQ(differences, 0) << where;
}

} // namespace

// Every version and level, each with one of the masks, filled with lower-case
// letters (one byte segment) to the last byte its capacity allows: read back,
// one byte more gives no symbol, and the automatic choice takes this version.
// With 0-2 bytes less (so that pad codewords appear) the symbol is fully
// determined by the standard: the peer must agree on every module. The
// automatic mask must be the peer's choice, for that message and for one of a
// third of its length (mostly pad codewords).
class QrEveryVersion : public ::testing::TestWithParam<int32_t> {};

TEST_P(QrEveryVersion, FullCapacityReadBackAndPeerAgreesModuleForModule)
{
    const int32_t version = GetParam();
    clsQRCode qr;
    for (int32_t level = 1; level <= 4; ++level) {
        const std::string where = "version " + std::to_string(version) + " level " + std::to_string(level);
        const int32_t mask = (version + level) % 8;
        const int32_t n = (8 * clsQRCode::DataCodewordCount(version, level) - 4 - (version < 10 ? 8 : 16)) / 8;
        const Bytes data = Letters(n, static_cast<uint32_t>(version * 10 + level));
        const auto picture = Encode(data, version, level, mask);
        ASSERT_TRUE(picture) << where;
        EXPECT_EQ(picture->width(), clsQRCode::SymbolSize(version) + 8);
        EXPECT_EQ(zarvex::test::Decode(*picture), data) << where;

        Bytes oneMore = data;
        oneMore.push_back('a');
        EXPECT_FALSE(Encode(oneMore, version, level, mask)) << "one byte over, " << where;
        EXPECT_EQ(qr.EncodeToMatrix(data, n, 0, level, mask)->version, version);

        const Bytes shorter(data.begin(), data.end() - version % 3);
        const auto size = static_cast<int32_t>(shorter.size());
        const auto ours = qr.EncodeToMatrix(shorter, size, version, level, mask);
        ExpectSameModules(ours, EncodeWithQrcodegen(shorter, version, level, mask), where);
        if (const auto pinned = kPenalties.find({version, level}); pinned != kPenalties.end())
            EXPECT_EQ(clsQRCode::MaskPenalties(*ours), pinned->second) << where;
        for (const Bytes& message : {shorter, Bytes(data.begin(), data.begin() + n / 3 + 1)}) {
            ExpectSameModules(qr.EncodeWithBestMask(message, static_cast<int32_t>(message.size()), version, level),
                              EncodeWithQrcodegen(message, version, level, -1), "best mask, " + where);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Qr, QrEveryVersion, ::testing::Range(1, 41),
                         [](const ::testing::TestParamInfo<int32_t>& p) { return "v" + std::to_string(p.param); });

TEST(QrRoundTrip, RandomMixturesOfEveryMode)
{
    // Runs of digits, alphanumerics, any bytes and Shift_JIS pairs (Kanji
    // segments, which the reader returns as the pairs that went in). The
    // measured stream length is the written one in each version group (1-9,
    // 10-26, 27-40), and every fifth message is read back.
    std::mt19937 rng(42);
    const std::string alnum = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    clsQRCode qr;
    std::vector<uint8_t> bits(clsQRCode::kBitBufferSize);
    for (int round = 0; round < 300; ++round) {
        Bytes data;
        for (int runs = 1 + static_cast<int>(rng() % 10); runs > 0; --runs) {
            const uint32_t kind = rng() % 4;
            for (int i = 1 + static_cast<int>(rng() % 40); i > 0; --i) {
                switch (kind) {
                case 0: data.push_back(static_cast<uint8_t>('0' + rng() % 10)); break;
                case 1: data.push_back(static_cast<uint8_t>(alnum[rng() % alnum.size()])); break;
                case 2: data.push_back(static_cast<uint8_t>(rng() % 256)); break;
                default:
                    data.push_back(static_cast<uint8_t>(0x88 + rng() % 0x17));
                    data.push_back(static_cast<uint8_t>(0x40 + rng() % 0xBC));
                }
            }
        }
        const auto n = static_cast<int32_t>(data.size());
        for (int32_t version : {1, 10, 27})
            ASSERT_EQ(qr.MakeBitStream(bits, data, n, version, true), qr.MakeBitStream(bits, data, n, version, false))
                << "round " << round << " version " << version;
        if (round % 5 == 0) {
            const auto picture = Encode(data, 0, 1 + static_cast<int32_t>(rng() % 4), static_cast<int32_t>(rng() % 8));
            ASSERT_TRUE(picture);
            EXPECT_EQ(zarvex::test::Decode(*picture, 2), data) << "round " << round;
        }
    }
}
