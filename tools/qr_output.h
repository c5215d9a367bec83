// Pictures of a QR symbol as zarvex-qr writes them, without a graphics
// library (so that the tool builds wherever the encoder does): the same
// pixels as the encoder's picture (one pixel per module, a 4-module white
// border), optionally enlarged, as PBM, PNG, SVG or terminal text.
#pragma once

#include "qrcode/qr_code.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zarvex::qrtool {

struct Pixels {
    int width = 0, height = 0;
    std::vector<uint8_t> dark; // row-major, 1 = dark
    bool Dark(int x, int y) const { return dark[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] != 0; }
};

// The symbol with its quiet zone, every module `scale` x `scale` pixels.
Pixels SymbolPixels(const qrcode::QrMatrix& symbol, int scale);

std::string Pbm(const Pixels& p);           // binary PBM (P4)
std::string Png(const Pixels& p);           // 1-bit greyscale PNG
std::string Svg(const Pixels& p, int scale); // squares in module units; `p` at one pixel per module
std::string Text(const Pixels& p, bool invert); // Unicode half blocks, two rows per line

} // namespace zarvex::qrtool
