#include "qr_output.h"

#include <array>
#include <sstream>

namespace zarvex::qrtool {

namespace {

void Put32(std::string& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

uint32_t Crc32(const std::string& data, size_t from)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = from; i < data.size(); ++i)
        c = table[(c ^ static_cast<uint8_t>(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void Chunk(std::string& png, const char* type, const std::string& data)
{
    Put32(png, static_cast<uint32_t>(data.size()));
    const size_t start = png.size();
    png += type;
    png += data;
    Put32(png, Crc32(png, start));
}

} // namespace

Pixels SymbolPixels(const qrcode::QrMatrix& symbol, int scale)
{
    // As the encoder's picture: 4 light modules on every side.
    const int modules = symbol.size + 8;
    Pixels p;
    p.width = p.height = modules * scale;
    p.dark.assign(static_cast<size_t>(p.width) * static_cast<size_t>(p.height), 0);
    for (int y = 0; y < p.height; ++y) {
        const int my = y / scale - 4;
        for (int x = 0; x < p.width; ++x) {
            const int mx = x / scale - 4;
            if (mx >= 0 && my >= 0 && mx < symbol.size && my < symbol.size && symbol.Dark(mx, my))
                p.dark[static_cast<size_t>(y) * static_cast<size_t>(p.width) + static_cast<size_t>(x)] = 1;
        }
    }
    return p;
}

std::string Pbm(const Pixels& p)
{
    std::string out = "P4\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n";
    for (int y = 0; y < p.height; ++y) {
        unsigned byte = 0;
        int bits = 0;
        for (int x = 0; x < p.width; ++x) {
            byte = (byte << 1) | (p.Dark(x, y) ? 1u : 0u); // PBM: 1 is black
            if (++bits == 8) {
                out += static_cast<char>(byte);
                byte = 0;
                bits = 0;
            }
        }
        if (bits > 0)
            out += static_cast<char>(byte << (8 - bits));
    }
    return out;
}

std::string Png(const Pixels& p)
{
    // Scanlines: filter byte 0, then 1 bit per pixel (1 = white in greyscale).
    std::string raw;
    for (int y = 0; y < p.height; ++y) {
        raw += '\0';
        unsigned byte = 0;
        int bits = 0;
        for (int x = 0; x < p.width; ++x) {
            byte = (byte << 1) | (p.Dark(x, y) ? 0u : 1u);
            if (++bits == 8) {
                raw += static_cast<char>(byte);
                byte = 0;
                bits = 0;
            }
        }
        if (bits > 0)
            raw += static_cast<char>((byte << (8 - bits)) | ((1u << (8 - bits)) - 1)); // padding white
    }
    // A zlib stream of stored (uncompressed) deflate blocks and its Adler-32.
    std::string z = "\x78\x01";
    for (size_t at = 0; at < raw.size() || at == 0;) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        const bool last = at + n >= raw.size();
        z += static_cast<char>(last ? 1 : 0);
        z += static_cast<char>(n & 0xFF);
        z += static_cast<char>(n >> 8);
        z += static_cast<char>(~n & 0xFF);
        z += static_cast<char>((~n >> 8) & 0xFF);
        z.append(raw, at, n);
        at += n;
        if (last)
            break;
    }
    uint32_t a = 1, b = 0;
    for (const char c : raw) {
        a = (a + static_cast<uint8_t>(c)) % 65521;
        b = (b + a) % 65521;
    }
    Put32(z, (b << 16) | a);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    Put32(ihdr, static_cast<uint32_t>(p.width));
    Put32(ihdr, static_cast<uint32_t>(p.height));
    ihdr += std::string("\x01\x00\x00\x00\x00", 5); // 1 bit, greyscale, deflate, no filter method, no interlace
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

std::string Svg(const Pixels& p, int scale)
{
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << p.width * scale << "\" height=\""
        << p.height * scale << "\" viewBox=\"0 0 " << p.width << ' ' << p.height << "\" shape-rendering=\"crispEdges\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n<path fill=\"#000000\" d=\"";
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.Dark(x, y))
                out << 'M' << x << ',' << y << "h1v1h-1z";
    out << "\"/>\n</svg>\n";
    return out.str();
}

std::string Text(const Pixels& p, bool invert)
{
    // By default light modules are the blocks: light text on a dark terminal
    // then shows a dark-on-light symbol.
    static const char* const kCells[4] = {" ", "\u2584", "\u2580", "\u2588"}; // none, lower, upper, both
    std::string out;
    for (int y = 0; y < p.height; y += 2) {
        for (int x = 0; x < p.width; ++x) {
            const bool upper = p.Dark(x, y) == invert;
            const bool lower = y + 1 < p.height && p.Dark(x, y + 1) == invert;
            out += kCells[(upper ? 2 : 0) | (lower ? 1 : 0)];
        }
        out += '\n';
    }
    return out;
}

} // namespace zarvex::qrtool
