// zarvex-qr: encodes a message as a QR Code symbol and writes it as PNG, SVG,
// PBM or terminal text.
#include "qr_output.h"
#include "qrcode/qr_code.h"
#include "qrcode/text_bytes.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#endif

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace zarvex::qrcode;
namespace qrtool = zarvex::qrtool;

namespace {

constexpr int kWritten = 0;
constexpr int kDoesNotFit = 1;
constexpr int kUsage = 2;
constexpr int kIoError = 3;

const char* const kHelp = R"(Usage: zarvex-qr [options] TEXT
       zarvex-qr [options] -i FILE

Encodes a message as a QR Code symbol (versions 1-40). The symbol carries the
message's bytes as they are, with no character-set designator.

Message:
  TEXT                 the text to encode, converted with --encoding
  -i, --input FILE     encode the bytes of FILE exactly ("-" for standard input)
  --encoding ENC       how TEXT becomes bytes: utf-8 (default), gbk, shift-jis
                       (shift-jis lets Kanji be packed in Kanji mode)

Symbol:
  -v, --version N      version 1-40; 0 (default) picks the smallest that fits
  -l, --level L        error correction level L, M (default), Q or H
  -m, --mask N         mask pattern 0-7; -1 (default) means 0

Output:
  -o, --output FILE    where to write ("-" or none: standard output)
  -t, --type TYPE      png, svg, pbm or txt; by default taken from the output
                       file's extension, txt when there is none
  --scale N            draw every module as N x N pixels (png, pbm, svg; default 1)
  --invert             txt only: draw dark modules as blocks, for terminals with
                       dark text on a light background
  -h, --help           show this help

png and pbm hold the symbol with its 4-module white border, one pixel per
module unless --scale enlarges them; txt draws it with Unicode half blocks.

Exit status: 0 a symbol was written, 1 the data do not fit the version and
level, 2 usage error or unreadable input, 3 the output could not be written.

Example:
  zarvex-qr 'HELLO WORLD' -o hello.png
)";

struct Options {
    std::optional<std::string> text;
    std::optional<std::string> inputFile;
    TextEncoding encoding = TextEncoding::Utf8;
    int32_t version = 0;
    int32_t level = kLevelM;
    int32_t mask = -1;
    std::string output = "-";
    std::string type;
    int32_t scale = 1;
    bool invert = false;
};

struct UsageError {
    std::string message;
};

int32_t ParseInt(const std::string& option, const std::string& value)
{
    try {
        size_t used = 0;
        const long long n = std::stoll(value, &used);
        if (used != value.size() || n < INT32_MIN || n > INT32_MAX)
            throw std::invalid_argument(value);
        return static_cast<int32_t>(n);
    } catch (const std::exception&) {
        throw UsageError{option + " needs a whole number, not \"" + value + "\""};
    }
}

std::string Extension(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

Options Parse(int argc, char** argv)
{
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw UsageError{a + " needs a value"};
            return args[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(kWritten);
        } else if (a == "-i" || a == "--input") {
            o.inputFile = value();
        } else if (a == "--encoding") {
            const std::string& name = value();
            const auto enc = ParseTextEncoding(name);
            if (!enc)
                throw UsageError{"unknown encoding \"" + name + "\" (use utf-8, gbk or shift-jis)"};
            o.encoding = *enc;
        } else if (a == "-v" || a == "--version") {
            o.version = ParseInt(a, value());
        } else if (a == "-l" || a == "--level") {
            const std::string& l = value();
            const std::string levels = "LMQH";
            const size_t at = l.size() == 1 ? levels.find(static_cast<char>(std::toupper(static_cast<unsigned char>(l[0]))))
                                            : std::string::npos;
            if (at == std::string::npos)
                throw UsageError{"the level must be L, M, Q or H, not \"" + l + "\""};
            o.level = static_cast<int32_t>(at) + 1;
        } else if (a == "-m" || a == "--mask") {
            o.mask = ParseInt(a, value());
        } else if (a == "-o" || a == "--output") {
            o.output = value();
        } else if (a == "-t" || a == "--type") {
            o.type = value();
            if (o.type != "png" && o.type != "svg" && o.type != "pbm" && o.type != "txt")
                throw UsageError{"unknown output type \"" + o.type + "\" (use png, svg, pbm or txt)"};
        } else if (a == "--scale") {
            o.scale = ParseInt(a, value());
            if (o.scale < 1 || o.scale > 100)
                throw UsageError{"--scale must be 1 to 100"};
        } else if (a == "--invert") {
            o.invert = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            throw UsageError{"unknown option " + a};
        } else if (!o.text) {
            o.text = a;
        } else {
            throw UsageError{"more than one TEXT given; quote a text with spaces"};
        }
    }
    if (o.text && o.inputFile)
        throw UsageError{"give either TEXT or -i FILE, not both"};
    if (!o.text && !o.inputFile)
        throw UsageError{"nothing to encode: give TEXT or -i FILE"};
    if (o.type.empty()) {
        const std::string ext = o.output == "-" ? std::string() : Extension(o.output);
        o.type = ext == "png" || ext == "svg" || ext == "pbm" ? ext : "txt";
    }
    return o;
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (path == "-") {
        std::cin >> std::noskipws;
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return bytes;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw UsageError{"cannot read " + path + ": " + std::strerror(errno)};
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        throw UsageError{"cannot read " + path};
    return bytes;
}

bool WriteOut(const std::string& path, const std::string& bytes)
{
    if (path == "-") {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        return static_cast<bool>(std::cout);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Arguments as UTF-8 whatever the ANSI code page, and binary output.
    std::vector<std::string> utf8Args;
    std::vector<char*> utf8Argv;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc)) {
        for (int i = 0; i < argc; ++i) {
            const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string a(static_cast<size_t>(std::max(n, 1)) - 1, '\0');
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, a.data(), n, nullptr, nullptr);
            utf8Args.push_back(a);
        }
        LocalFree(wide);
        for (auto& a : utf8Args)
            utf8Argv.push_back(a.data());
        utf8Argv.push_back(nullptr);
        argv = utf8Argv.data();
    }
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    Options o;
    std::vector<uint8_t> message;
    try {
        o = Parse(argc, argv);
        message = o.inputFile ? ReadAll(*o.inputFile) : TextToBytes(*o.text, o.encoding);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "zarvex-qr: %s\nTry 'zarvex-qr --help'.\n", e.message.c_str());
        return kUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zarvex-qr: %s\n", e.what());
        return kUsage;
    }
    if (message.size() > static_cast<size_t>(INT32_MAX)) {
        std::fprintf(stderr, "zarvex-qr: the message is too long\n");
        return kDoesNotFit;
    }

    clsQRCode encoder;
    const auto symbol = encoder.EncodeToMatrix(message, static_cast<int32_t>(message.size()), o.version, o.level,
                                               o.mask);
    if (!symbol) {
        const char level = "LMQH"[o.level - 1];
        if (o.version < 0)
            std::fprintf(stderr, "zarvex-qr: version %d gives no symbol (use 1-40, or 0 for automatic)\n", o.version);
        else if (o.version == 0 || o.version > 40)
            std::fprintf(stderr, "zarvex-qr: the data (%zu bytes) do not fit any version (1-40) at level %c\n",
                         message.size(), level);
        else
            std::fprintf(stderr, "zarvex-qr: the data (%zu bytes) do not fit version %d at level %c\n",
                         message.size(), o.version, level);
        return kDoesNotFit;
    }

    // Text and SVG are drawn in modules; PNG and PBM at the chosen scale.
    const bool scaled = o.type == "png" || o.type == "pbm";
    const qrtool::Pixels pixels = qrtool::SymbolPixels(*symbol, scaled ? o.scale : 1);
    std::string bytes;
    if (o.type == "png")
        bytes = qrtool::Png(pixels);
    else if (o.type == "pbm")
        bytes = qrtool::Pbm(pixels);
    else if (o.type == "svg")
        bytes = qrtool::Svg(pixels, o.scale);
    else
        bytes = qrtool::Text(pixels, o.invert);
    const bool ok = WriteOut(o.output, bytes);
    if (!ok) {
        std::fprintf(stderr, "zarvex-qr: cannot write %s\n", o.output == "-" ? "standard output" : o.output.c_str());
        return kIoError;
    }
    return kWritten;
}
