// Pictures of a QR symbol as zarvex-qr writes them: PNG (deflated by zlib),
// SVG, PBM and terminal text. Every picture holds the symbol with a light
// border of `margin` modules; PNG and PBM draw each module as `scale` x
// `scale` pixels, SVG is drawn in module units and sized `scale` pixels per
// module, text uses one character cell per module (two rows per line for
// UTF-8 half blocks, two characters per module for ASCII).
#pragma once

#include "qrcode/qr_code.h"

#include <cstdint>
#include <string>

namespace zarvex::qrtool {

// A colour as 0xRRGGBBAA.
using Rgba = uint32_t;
inline constexpr Rgba kBlack = 0x000000FF;
inline constexpr Rgba kWhite = 0xFFFFFFFF;

struct Layout {
    int scale = 1;  // pixels per module (PNG, PBM; SVG's width and height)
    int margin = 4; // light modules around the symbol
    Rgba foreground = kBlack, background = kWhite; // PNG and SVG
};

std::string Pbm(const qrcode::QrMatrix& symbol, const Layout& layout); // binary PBM (P4)
std::string Png(const qrcode::QrMatrix& symbol, const Layout& layout); // 1-bit indexed PNG
std::string Svg(const qrcode::QrMatrix& symbol, const Layout& layout);
// By default the light modules are the drawn cells (light text on a dark
// terminal shows a dark-on-light symbol); `invert` draws the dark ones.
std::string Utf8Text(const qrcode::QrMatrix& symbol, const Layout& layout, bool invert);  // half blocks
std::string AsciiText(const qrcode::QrMatrix& symbol, const Layout& layout, bool invert); // "##" per module

} // namespace zarvex::qrtool
