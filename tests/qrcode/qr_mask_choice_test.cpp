// The automatic mask: every mask's penalty against a plain transcription of the
// four rules, and the choice against qrcodegen's on random messages.
#include "qrcode/qr_code.h"
#include "support/qr_readers.h"

#include <gtest/gtest.h>

#include <random>

using zarvex::qrcode::clsQRCode;
using zarvex::qrcode::QrMatrix;
using zarvex::test::Bytes;

namespace {

// ISO/IEC 18004:2015 7.8.3, module by module over a grid, the outside light.
int ReferencePenalty(const QrMatrix& s)
{
    const int n = s.size;
    int score = 0;
    for (int byRow = 0; byRow < 2; ++byRow) {
        for (int line = 0; line < n; ++line) {
            auto dark = [&](int k) { return k >= 0 && k < n && (byRow ? s.Dark(k, line) : s.Dark(line, k)); };
            auto light = [&](int from, int step, int count) {
                for (int i = 0; i < count; ++i)
                    if (dark(from + i * step))
                        return false;
                return true;
            };
            // N1: 3 for five in a run, 1 for each further module.
            for (int k = 0; k < n;) {
                int e = k;
                while (e < n && dark(e) == dark(k))
                    ++e;
                if (e - k >= 5)
                    score += 3 + (e - k - 5);
                k = e;
            }
            // N3: runs of exactly u:u:3u:u:u (dark first), 4u light on a side
            // (and at least u on the other), each qualifying side once.
            for (int u = 1; 7 * u <= n; ++u) {
                for (int p = 0; p + 7 * u <= n; ++p) {
                    bool ok = !dark(p - 1) && !dark(p + 7 * u);
                    for (int q = 0; q < 7 * u && ok; ++q)
                        ok = dark(p + q) == (q < u || (q >= 2 * u && q < 5 * u) || q >= 6 * u);
                    if (ok)
                        score += 40 * ((light(p - 1, -1, 4 * u) && light(p + 7 * u, 1, u))
                                       + (light(p + 7 * u, 1, 4 * u) && light(p - 1, -1, u)));
                }
            }
        }
    }
    // N2: 3 for every 2x2 block of one colour.
    int darkCount = 0;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            darkCount += s.Dark(x, y);
            if (x + 1 < n && y + 1 < n && s.Dark(x, y) == s.Dark(x + 1, y) && s.Dark(x, y) == s.Dark(x, y + 1)
                && s.Dark(x, y) == s.Dark(x + 1, y + 1))
                score += 3;
        }
    // N4: 10 k for the smallest k with 45 - 5k <= dark % <= 55 + 5k.
    int k = 0;
    while (100 * darkCount < (45 - 5 * k) * n * n || 100 * darkCount > (55 + 5 * k) * n * n)
        ++k;
    return score + 10 * k;
}

} // namespace

TEST(QrMaskChoice, PenaltiesMatchTheRulesAndTheChoiceMatchesQrcodegen)
{
    std::mt19937 rng(7);
    clsQRCode qr;
    for (int round = 0; round < 300; ++round) {
        const int32_t version = 1 + static_cast<int32_t>(rng() % 40);
        const int32_t level = 1 + static_cast<int32_t>(rng() % 4);
        // Lower-case letters are one byte segment for both encoders.
        const int32_t capacity = (8 * clsQRCode::DataCodewordCount(version, level) - 4 - (version < 10 ? 8 : 16)) / 8;
        Bytes data(1 + rng() % static_cast<uint32_t>(capacity));
        for (auto& b : data)
            b = static_cast<uint8_t>('a' + rng() % 26);
        const auto n = static_cast<int32_t>(data.size());
        const std::string where = "round " + std::to_string(round) + ", version " + std::to_string(version);

        const auto ours = qr.EncodeWithBestMask(data, n, version, level);
        const auto peer = zarvex::test::EncodeWithQrcodegen(data, version, level, -1);
        ASSERT_TRUE(ours && peer) << where;
        EXPECT_EQ(ours->mask, peer->mask) << where;
        std::vector<bool> dark;
        for (int32_t y = 0; y < ours->size; ++y)
            for (int32_t x = 0; x < ours->size; ++x)
                dark.push_back(ours->Dark(x, y));
        EXPECT_EQ(dark, peer->dark) << where;

        if (round % 6 == 0) {
            const auto penalties = clsQRCode::MaskPenalties(*ours);
            for (int32_t mask = 0; mask < 8; ++mask)
                EXPECT_EQ(penalties[static_cast<size_t>(mask)],
                          ReferencePenalty(*qr.EncodeToMatrix(data, n, version, level, mask)))
                    << where << ", mask " << mask;
        }
    }
}
