// zarvex-qr: encodes a message as a QR Code symbol and writes it as PNG, SVG,
// PBM or terminal text.
#include "qr_output.h"
#include "qrcode/qr_code.h"
#include "qrcode/text_bytes.h"

#include <CLI/CLI.hpp>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace zarvex::qrcode;
namespace qrtool = zarvex::qrtool;
namespace fs = std::filesystem;

namespace {

constexpr int kWritten = 0;
constexpr int kRefused = 1; // does not fit, or too long to try
constexpr int kUsage = 2;
constexpr int kIoError = 3;

// No symbol holds more than 7089 characters (numeric, version 40-L); a longer
// input is refused before it is read to its end.
constexpr size_t kMaxInput = 8192;

const char* const kHelp = R"(Usage: zarvex-qr [OPTION]... [--] [TEXT]
Encode TEXT (or the bytes of a file, or of standard input) as a QR Code symbol.

With no TEXT and no -i, the message is the bytes of standard input when it is
not a terminal. The symbol carries the message's bytes as they are, with no
character-set designator. Messages over 8192 bytes are refused.

Message:
  -i, --input=FILE        encode the bytes of FILE exactly ("-": standard input)
      --encoding=ENC      how TEXT becomes bytes: utf-8 (default), gbk or
                          shift-jis (Kanji in shift-jis are packed in Kanji mode)

Symbol:
  -v, --symversion=N      symbol version 1-40; 0 (default) picks the smallest
                          that fits
  -l, --level=L           error correction level L, M (default), Q or H
  -m, --mask=MASK         mask pattern 0-7, or auto (default: the one with the
                          lowest penalty score)

Output:
  -o, --output=FILE       write to FILE (replaced only once it is complete);
                          "-" or none: standard output
  -t, --type=TYPE         png, svg, pbm, utf8 (txt) or ascii; by default taken
                          from FILE's extension, utf8 on standard output
  -s, --scale=N           pixels per module, 1-100 (png, pbm, svg; default 1)
      --margin=N          light border in modules, 0-100 (default 4)
      --foreground=COLOUR dark modules as RRGGBB or RRGGBBAA (png, svg;
                          default 000000)
      --background=COLOUR light modules and border (png, svg; default FFFFFF)
      --invert            utf8, ascii: draw the dark modules instead of the
                          light ones (for dark text on a light background)
      --verbose           print the version, level and mask used to standard
                          error
  -h, --help              show this help and exit
  -V, --version           show the program's version and exit

PNG and PBM are not written to a terminal; use -o or a redirection.

Exit status:
  0  the symbol was written
  1  the message does not fit the version and level, or is over 8192 bytes
  2  usage error, or the input could not be read
  3  the output could not be written

Examples:
  zarvex-qr 'HELLO WORLD'                         draw it in the terminal
  zarvex-qr --scale 8 -o hello.png 'HELLO WORLD'  a PNG for a phone to read
  zarvex-qr -lH -i contract.txt -o contract.svg   the exact bytes of a file
  echo 'https://example.com/' | zarvex-qr --scale 8 -o link.png
)";

struct UsageError {
    std::string message;
};
struct InputError { // unreadable input: a usage error's status, without the hint
    std::string message;
};
struct TooLong {
    std::string message;
};

struct Options {
    std::optional<std::string> text;
    std::optional<std::string> inputFile;
    TextEncoding encoding = TextEncoding::Utf8;
    int32_t version = 0;
    int32_t level = kLevelM;
    std::optional<int32_t> mask; // none: automatic
    std::string output = "-";
    std::string type;
    qrtool::Layout layout;
    bool invert = false;
    bool verbose = false;
};

// A whole number from lo to hi, or the reason it is not one.
std::optional<int> WholeNumber(const std::string& s, int lo, int hi)
{
    if (s.empty() || s.size() > 4 || s.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int n = std::stoi(s);
    return n >= lo && n <= hi ? std::optional<int>(n) : std::nullopt;
}

// A CLI11 check: the values `ok` accepts, any other refused with a message naming `allowed`.
CLI::Validator Allowed(std::function<bool(const std::string&)> ok, std::string allowed)
{
    return CLI::Validator(
        [ok = std::move(ok), allowed = std::move(allowed)](std::string& s) {
            return ok(s) ? std::string() : "must be " + allowed + ", not \"" + s + "\"";
        },
        "");
}

CLI::Validator Range(int lo, int hi, std::string allowed)
{
    return Allowed([lo, hi](const std::string& s) { return WholeNumber(s, lo, hi).has_value(); }, std::move(allowed));
}

std::optional<qrtool::Rgba> ParseColour(const std::string& s)
{
    if ((s.size() != 6 && s.size() != 8) || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    const auto v = static_cast<qrtool::Rgba>(std::stoul(s, nullptr, 16));
    return s.size() == 6 ? (v << 8) | 0xFF : v;
}

// Arguments are UTF-8 on every system.
fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Extension(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0)
        return {};
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool IsTerminal(FILE* f)
{
#ifdef _WIN32
    return _isatty(_fileno(f)) != 0;
#else
    return isatty(fileno(f)) != 0;
#endif
}

Options Parse(int argc, char** argv)
{
    Options o;
    CLI::App app("zarvex-qr");
    app.set_help_flag(); // our own help text, below
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast); // the last one counts
    bool help = false, version = false;
    std::string text, encoding, level, mask, type, foreground, background;
    app.add_flag("-h,--help", help);
    app.add_flag("-V,--version", version);
    app.add_option("text", text);
    auto* input = app.add_option("-i,--input", o.inputFile);
    app.add_option("--encoding", encoding)
        ->check(Allowed([](const std::string& e) { return ParseTextEncoding(e).has_value(); }, "utf-8, gbk or shift-jis"));
    app.add_option("-v,--symversion", o.version)->check(Range(0, 40, "0 (automatic) or 1-40"));
    app.add_option("-l,--level", level)->check(Allowed(
        [](const std::string& l) { return l.size() == 1 && std::string("LMQHlmqh").find(l[0]) != std::string::npos; },
        "L, M, Q or H"));
    app.add_option("-m,--mask", mask)->check(Allowed(
        [](const std::string& m) { return m == "auto" || WholeNumber(m, 0, 7); }, "auto or 0-7"));
    app.add_option("-o,--output", o.output);
    app.add_option("-t,--type", type)->check(Allowed(
        [](const std::string& t) {
            return t == "png" || t == "svg" || t == "pbm" || t == "utf8" || t == "ascii" || t == "txt";
        },
        "png, svg, pbm, utf8 (txt) or ascii"));
    app.add_option("-s,--scale", o.layout.scale)->check(Range(1, 100, "1-100"));
    app.add_option("--margin", o.layout.margin)->check(Range(0, 100, "0-100"));
    const auto colour = Allowed([](const std::string& c) { return ParseColour(c).has_value(); },
                                "RRGGBB or RRGGBBAA in hexadecimal");
    app.add_option("--foreground", foreground)->check(colour);
    app.add_option("--background", background)->check(colour);
    app.add_flag("--invert", o.invert);
    app.add_flag("--verbose", o.verbose);

    app.allow_extras(); // reported below in our words
    try {
        app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch& e) {
        const std::string what = e.what();
        throw UsageError{what.substr(0, what.find(':')) + " needs a value"};
    } catch (const CLI::ParseError& e) {
        throw UsageError{e.what()};
    }
    if (help) {
        std::fputs(kHelp, stdout);
        std::exit(kWritten);
    }
    if (version) {
        std::printf("zarvex-qr %s\n", ZARVEX_VERSION);
        std::exit(kWritten);
    }
    bool afterDashes = false; // CLI11 hands "--" back among the extras, in order
    for (const std::string& extra : app.remaining()) {
        if (extra == "--" && !afterDashes) {
            afterDashes = true;
            continue;
        }
        if (!afterDashes && extra.size() > 1 && extra[0] == '-')
            throw UsageError{"unknown option " + extra + " (a TEXT that begins with - goes after --)"};
        throw UsageError{"more than one TEXT given; quote a text with spaces"};
    }

    if (app.count("text") > 0)
        o.text = text;
    if (o.text && input->count() > 0)
        throw UsageError{"give either TEXT or -i FILE, not both"};
    if (!encoding.empty())
        o.encoding = *ParseTextEncoding(encoding);
    if (!level.empty())
        o.level = static_cast<int32_t>(std::string("LMQH").find(static_cast<char>(std::toupper(level[0])))) + 1;
    if (!mask.empty() && mask != "auto")
        o.mask = std::stoi(mask);
    if (!foreground.empty())
        o.layout.foreground = *ParseColour(foreground);
    if (!background.empty())
        o.layout.background = *ParseColour(background);

    o.type = type == "txt" ? "utf8" : type;
    if (o.type.empty()) {
        if (o.output == "-") {
            o.type = "utf8";
        } else {
            const std::string ext = Extension(o.output);
            if (ext == "png" || ext == "svg" || ext == "pbm")
                o.type = ext;
            else if (ext == "txt")
                o.type = "utf8";
            else
                throw UsageError{"cannot tell the format of \"" + o.output
                                 + "\" from its extension; name it .png, .svg, .pbm or .txt, or give -t png, svg, "
                                   "pbm, utf8 or ascii"};
        }
    }
    if ((o.type == "png" || o.type == "pbm") && o.output == "-" && IsTerminal(stdout))
        throw UsageError{"will not write " + o.type + " to a terminal; give -o FILE or redirect the output"};
    return o;
}

// At most kMaxInput bytes of `in`; more is refused without reading further.
std::vector<uint8_t> ReadLimited(FILE* in, const std::string& name)
{
    std::vector<uint8_t> bytes(kMaxInput + 1);
    size_t n = 0;
    while (n < bytes.size()) {
        const size_t got = std::fread(bytes.data() + n, 1, bytes.size() - n, in);
        if (got == 0)
            break;
        n += got;
    }
    if (std::ferror(in))
        throw InputError{"cannot read " + name + ": " + std::strerror(errno)};
    if (n > kMaxInput)
        throw TooLong{name + " holds more than " + std::to_string(kMaxInput) + " bytes; no symbol holds that much"};
    bytes.resize(n);
    return bytes;
}

std::vector<uint8_t> ReadMessage(const Options& o)
{
    if (o.text) {
        if (o.text->size() > kMaxInput)
            throw TooLong{"the text is longer than " + std::to_string(kMaxInput) + " bytes; no symbol holds that much"};
        try {
            return TextToBytes(*o.text, o.encoding);
        } catch (const std::exception& e) {
            throw UsageError{e.what()};
        }
    }
    if (!o.inputFile) {
        if (IsTerminal(stdin))
            throw UsageError{"nothing to encode: give TEXT or -i FILE, or pipe the message in"};
        std::vector<uint8_t> bytes = ReadLimited(stdin, "standard input");
        if (bytes.empty())
            throw UsageError{"nothing to encode: standard input was empty"};
        return bytes;
    }
    if (*o.inputFile == "-")
        return ReadLimited(stdin, "standard input");
    const std::string& path = *o.inputFile;
    std::error_code ec;
    if (fs::is_directory(PathOf(path), ec))
        throw InputError{"cannot read " + path + ": it is a folder, not a file"};
#ifdef _WIN32
    FILE* in = _wfopen(PathOf(path).c_str(), L"rb");
#else
    FILE* in = std::fopen(path.c_str(), "rb");
#endif
    if (!in)
        throw InputError{"cannot read " + path + ": " + std::strerror(errno)};
    try {
        std::vector<uint8_t> bytes = ReadLimited(in, path);
        std::fclose(in);
        return bytes;
    } catch (...) {
        std::fclose(in);
        throw;
    }
}

bool WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t chunk = std::min<size_t>(bytes.size() - done, 1 << 20);
#ifdef _WIN32
        const int n = _write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
#else
        const ssize_t n = ::write(fd, bytes.data() + done, chunk);
        if (n < 0 && errno == EINTR)
            continue;
#endif
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes straight into something that is not a plain file (a pipe, a
// terminal, /dev/stdout, /dev/null): renaming over it would replace the
// device or pipe itself, and the bytes would never reach it.
std::string WriteInPlace(const fs::path& target, const std::string& bytes)
{
#ifdef _WIN32
    const int fd = _wopen(target.c_str(), _O_WRONLY | _O_BINARY);
#else
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
#endif
    if (fd < 0)
        return std::strerror(errno);
    std::string reason = WriteAll(fd, bytes) ? std::string() : std::strerror(errno);
#ifdef _WIN32
    if (_close(fd) != 0 && reason.empty())
#else
    if (::close(fd) != 0 && reason.empty())
#endif
        reason = std::strerror(errno);
    return reason;
}

// Writes a temporary file beside `path` and renames it over `path`, so that a
// failed write leaves whatever was there untouched. A symbolic link is
// followed, so the file it names is replaced and the link stays. Returns an
// error text.
std::string WriteFileAtomically(const std::string& path, const std::string& bytes)
{
    fs::path target = PathOf(path);
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (!ec && fs::exists(status) && !fs::is_regular_file(status))
        return WriteInPlace(target, bytes);
    if (fs::exists(status) && fs::is_symlink(fs::symlink_status(target, ec))) {
        target = fs::canonical(target, ec);
        if (ec)
            return ec.message();
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        fs::path name(".");
        name += target.filename();
        name += ".tmp" + std::to_string(attempt);
        temp = folder / name;
#ifdef _WIN32
        fd = _wopen(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
#else
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
        if (fd < 0 && errno != EEXIST)
            return std::strerror(errno);
    }
    if (fd < 0)
        return "no free temporary name";
    std::string reason;
#ifdef _WIN32
    if (!WriteAll(fd, bytes) || _commit(fd) != 0)
        reason = std::strerror(errno);
    if (_close(fd) != 0 && reason.empty())
        reason = std::strerror(errno);
    if (reason.empty() && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        reason = "cannot put the new file in place (error " + std::to_string(GetLastError()) + ")";
#else
    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0)
        reason = std::strerror(errno);
    if (::close(fd) != 0 && reason.empty())
        reason = std::strerror(errno);
    if (reason.empty() && std::rename(temp.c_str(), target.c_str()) != 0)
        reason = std::strerror(errno);
#endif
    if (!reason.empty()) {
        std::error_code ignored;
        fs::remove(temp, ignored);
    }
    return reason;
}

int Run(int argc, char** argv)
{
    Options o;
    std::vector<uint8_t> message;
    try {
        o = Parse(argc, argv);
        message = ReadMessage(o);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "zarvex-qr: %s\nTry 'zarvex-qr --help'.\n", e.message.c_str());
        return kUsage;
    } catch (const InputError& e) {
        std::fprintf(stderr, "zarvex-qr: %s\n", e.message.c_str());
        return kUsage;
    } catch (const TooLong& e) {
        std::fprintf(stderr, "zarvex-qr: %s\n", e.message.c_str());
        return kRefused;
    }

    clsQRCode encoder;
    const auto length = static_cast<int32_t>(message.size());
    const auto symbol = o.mask ? encoder.EncodeToMatrix(message, length, o.version, o.level, *o.mask)
                               : encoder.EncodeWithBestMask(message, length, o.version, o.level);
    const char level = "LMQH"[o.level - 1];
    if (!symbol) {
        if (o.version == 0)
            std::fprintf(stderr, "zarvex-qr: the data (%zu bytes) do not fit any version (1-40) at level %c\n",
                         message.size(), level);
        else
            std::fprintf(stderr, "zarvex-qr: the data (%zu bytes) do not fit version %d at level %c\n",
                         message.size(), o.version, level);
        return kRefused;
    }
    if (o.verbose)
        std::fprintf(stderr, "zarvex-qr: version %d (%dx%d modules), level %c, mask %d%s\n", symbol->version,
                     symbol->size, symbol->size, level, symbol->mask, o.mask ? "" : " (lowest penalty)");

    std::string bytes;
    if (o.type == "png")
        bytes = qrtool::Png(*symbol, o.layout);
    else if (o.type == "pbm")
        bytes = qrtool::Pbm(*symbol, o.layout);
    else if (o.type == "svg")
        bytes = qrtool::Svg(*symbol, o.layout);
    else if (o.type == "ascii")
        bytes = qrtool::AsciiText(*symbol, o.layout, o.invert);
    else
        bytes = qrtool::Utf8Text(*symbol, o.layout, o.invert);

    if (o.output == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "zarvex-qr: cannot write to standard output: %s\n", std::strerror(errno));
            return kIoError;
        }
        return kWritten;
    }
    const std::string error = WriteFileAtomically(o.output, bytes);
    if (!error.empty()) {
        std::fprintf(stderr, "zarvex-qr: cannot write %s: %s\n", o.output.c_str(), error.c_str());
        return kIoError;
    }
    return kWritten;
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
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        // Nothing below should throw; if it does, say so in our own words.
        std::fprintf(stderr, "zarvex-qr: unexpected failure: %s\n", e.what());
        return kIoError;
    }
}
