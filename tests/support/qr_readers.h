// An independent reader and a peer encoder of QR symbols: zxing-cpp decodes
// pictures back to bytes; qrcodegen builds symbols from the same bytes.
#pragma once

#include <QImage>

#include <cstdint>
#include <optional>
#include <vector>

namespace zarvex::test {

using Bytes = std::vector<uint8_t>;

// zxing-cpp on the picture enlarged to `scale` pixels per module as 8-bit
// grey: the exact bytes of the symbol (Kanji as Shift_JIS pairs), or none.
std::optional<Bytes> Decode(const QImage& picture, int scale = 1);

// The peer's module matrix (row-major, size x size, true = dark) for one
// byte-mode segment at a fixed version, level (1..4 = L, M, Q, H) and mask
// (-1 lets it choose); none when it does not fit.
struct PeerSymbol {
    int size = 0;
    int mask = 0;
    std::vector<bool> dark;
};
std::optional<PeerSymbol> EncodeWithQrcodegen(const Bytes& data, int version, int level, int mask);

} // namespace zarvex::test
