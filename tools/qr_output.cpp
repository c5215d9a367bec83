#include "qr_output.h"

#include <zlib.h>

#include <array>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace zarvex::qrtool {

namespace {

// Module (mx, my) of the picture, border included: true when dark.
bool Dark(const qrcode::QrMatrix& s, int margin, int mx, int my)
{
    const int x = mx - margin, y = my - margin;
    return x >= 0 && y >= 0 && x < s.size && y < s.size && s.Dark(x, y);
}

int Modules(const qrcode::QrMatrix& s, const Layout& l) { return s.size + 2 * l.margin; }

// The pixel row of module row `my`, 1 bit per pixel (1 dark), most
// significant first, padded with 0.
std::vector<uint8_t> PackedRow(const qrcode::QrMatrix& s, const Layout& l, int my)
{
    const int width = Modules(s, l) * l.scale;
    std::vector<uint8_t> row(static_cast<size_t>((width + 7) / 8), 0);
    for (int px = 0; px < width; ++px)
        if (Dark(s, l.margin, px / l.scale, my))
            row[static_cast<size_t>(px / 8)] |= static_cast<uint8_t>(0x80u >> (px % 8));
    return row;
}

void Put32(std::string& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

void Chunk(std::string& png, const char* type, const std::string& data)
{
    Put32(png, static_cast<uint32_t>(data.size()));
    const size_t start = png.size();
    png += type;
    png += data;
    const auto* bytes = reinterpret_cast<const Bytef*>(png.data() + start);
    Put32(png, static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), bytes, static_cast<uInt>(png.size() - start))));
}

std::string Hex(Rgba c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(c >> 8));
    return text;
}

std::string Opacity(Rgba c)
{
    if ((c & 0xFF) == 0xFF)
        return {};
    char text[32];
    std::snprintf(text, sizeof text, " fill-opacity=\"%.3g\"", static_cast<double>(c & 0xFF) / 255.0);
    return text;
}

} // namespace

std::string Pbm(const qrcode::QrMatrix& s, const Layout& l)
{
    const int side = Modules(s, l) * l.scale;
    std::string out = "P4\n" + std::to_string(side) + " " + std::to_string(side) + "\n";
    for (int my = 0; my < Modules(s, l); ++my) {
        const std::vector<uint8_t> row = PackedRow(s, l, my); // PBM: 1 is black
        for (int r = 0; r < l.scale; ++r)
            out.append(reinterpret_cast<const char*>(row.data()), row.size());
    }
    return out;
}

std::string Png(const qrcode::QrMatrix& s, const Layout& l)
{
    const int side = Modules(s, l) * l.scale;
    // Scanlines are filter byte 0 and 1-bit palette indices (1 = foreground),
    // deflated one at a time: a picture of any size needs one row of memory.
    z_stream z{};
    if (deflateInit(&z, Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("cannot start the PNG compressor");
    std::string idat;
    std::array<unsigned char, 16384> buffer;
    auto feed = [&](const uint8_t* data, size_t n, int flush) {
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = buffer.data();
            z.avail_out = static_cast<uInt>(buffer.size());
            deflate(&z, flush);
            idat.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - z.avail_out);
        } while (z.avail_out == 0);
    };
    for (int my = 0; my < Modules(s, l); ++my) {
        std::vector<uint8_t> row = PackedRow(s, l, my);
        row.insert(row.begin(), 0); // filter: none
        for (int r = 0; r < l.scale; ++r)
            feed(row.data(), row.size(), Z_NO_FLUSH);
    }
    feed(nullptr, 0, Z_FINISH);
    deflateEnd(&z);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    Put32(ihdr, static_cast<uint32_t>(side));
    Put32(ihdr, static_cast<uint32_t>(side));
    ihdr += std::string("\x01\x03\x00\x00\x00", 5); // 1 bit, indexed colour, deflate, no filter method, no interlace
    Chunk(png, "IHDR", ihdr);
    std::string palette, alpha;
    for (const Rgba c : {l.background, l.foreground}) {
        for (int shift = 24; shift >= 8; shift -= 8)
            palette += static_cast<char>((c >> shift) & 0xFF);
        alpha += static_cast<char>(c & 0xFF);
    }
    Chunk(png, "PLTE", palette);
    if (alpha != std::string(2, '\xFF'))
        Chunk(png, "tRNS", alpha);
    Chunk(png, "IDAT", idat);
    Chunk(png, "IEND", {});
    return png;
}

std::string Svg(const qrcode::QrMatrix& s, const Layout& l)
{
    const int side = Modules(s, l);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
                      "version=\"1.1\" width=\""
        + std::to_string(side * l.scale) + "\" height=\"" + std::to_string(side * l.scale) + "\" viewBox=\"0 0 "
        + std::to_string(side) + ' ' + std::to_string(side) + "\" shape-rendering=\"crispEdges\">\n"
        + "<rect width=\"100%\" height=\"100%\" fill=\"" + Hex(l.background) + "\"" + Opacity(l.background)
        + "/>\n<path fill=\"" + Hex(l.foreground) + "\"" + Opacity(l.foreground) + " d=\"";
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            if (Dark(s, l.margin, x, y))
                out += 'M' + std::to_string(x) + ',' + std::to_string(y) + "h1v1h-1z";
    out += "\"/>\n</svg>\n";
    return out;
}

std::string Utf8Text(const qrcode::QrMatrix& s, const Layout& l, bool invert)
{
    static const char* const kCells[4] = {" ", "\u2584", "\u2580", "\u2588"}; // none, lower, upper, both
    const int side = Modules(s, l);
    std::string out;
    for (int y = 0; y < side; y += 2) {
        for (int x = 0; x < side; ++x) {
            const bool upper = Dark(s, l.margin, x, y) == invert;
            const bool lower = y + 1 < side && Dark(s, l.margin, x, y + 1) == invert;
            out += kCells[(upper ? 2 : 0) | (lower ? 1 : 0)];
        }
        out += '\n';
    }
    return out;
}

std::string AsciiText(const qrcode::QrMatrix& s, const Layout& l, bool invert)
{
    const int side = Modules(s, l);
    std::string out;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x)
            out += Dark(s, l.margin, x, y) == invert ? "##" : "  ";
        out += '\n';
    }
    return out;
}

} // namespace zarvex::qrtool
