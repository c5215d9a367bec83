// The zarvex-qr command: its output formats and exit codes, run as a process.
#include "qrcode/fake_bar_code.h"
#include "support/qr_readers.h"
#include "support/temp_folder.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zarvex::qrcode;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

using zarvex::test::Slurp;

class ToolTest : public ::testing::Test {
protected:
    // `shell` (if any) runs the command line given as its last argument.
    Result Run(const std::vector<std::string>& args, const std::string& input = "", const std::string& shell = "")
    {
        const fs::path in = dir_ / "stdin", out = dir_ / "stdout", err = dir_ / "stderr";
        std::ofstream(in, std::ios::binary) << input;
        std::string cmd = Quote(ZARVEX_QR_TOOL);
        for (const auto& a : args)
            cmd += " " + Quote(a);
        if (!shell.empty())
            cmd = shell + " " + Quote(cmd);
        cmd += " <" + Quote(in) + " >" + Quote(out) + " 2>" + Quote(err);
        const int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
    }

    zarvex::test::TempFolder folder_{"qr-tool"};
    const fs::path dir_ = folder_.Path();
};

// The picture in a PBM file, as Qt's own reader sees it.
QImage FromPbm(const std::string& pbm)
{
    return QImage::fromData(QByteArray::fromStdString(pbm), "PBM").convertToFormat(QImage::Format_RGB32);
}

// The symbol as the library draws it; mask -1: the lowest penalty, as the tool's default.
QImage Expected(const Bytes& data, int32_t version = 0, int32_t level = 2, int32_t mask = -1)
{
    clsQRCode qr;
    const auto n = static_cast<int32_t>(data.size());
    return RenderSymbol(*(mask < 0 ? qr.EncodeWithBestMask(data, n, version, level)
                                   : qr.EncodeToMatrix(data, n, version, level, mask)))
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST_F(ToolTest, PbmIsTheLibrarysSymbolOfTheBytesGiven)
{
    const std::string raw("\x00\x01\xff binary\r\n\x93\x5f", 14);
    std::ofstream(dir_ / "msg.bin", std::ios::binary) << raw;
    const struct {
        std::vector<std::string> args;
        std::string input, bytes;
        int32_t version = 0, level = 2, mask = -1, scale = 1;
    } cases[] = {
        // By default the mask of the lowest penalty (2 here).
        {{"-t", "pbm", "HELLO"}, "", "HELLO"},
        {{"-t", "pbm"}, "HELLO", "HELLO"}, // the text from standard input when none is given
        {{"-tpbm", "--symversion=5", "-lq", "-m", "6", "--scale=3", "--", "HELLO WORLD"}, "", "HELLO WORLD",
         5, 3, 6, 3},
        {{"-i", (dir_ / "msg.bin").string(), "-t", "pbm"}, "", raw},
        {{"-i", "-", "-t", "pbm"}, raw, raw},
        // The text in the encoding asked for, under any of its usual names.
        {{"--encoding", "Shift_JIS", "-t", "pbm", "監視"}, "", "\x8a\xc4\x8e\x8b"},
        {{"--encoding", "cp936", "-t", "pbm", "A你好"}, "", "A\xC4\xE3\xBA\xC3"},
        {{"--encoding", "UTF8", "-t", "pbm", "A你好"}, "", "A\xE4\xBD\xA0\xE5\xA5\xBD"},
    };
    for (const auto& c : cases) {
        const Result r = Run(c.args, c.input);
        ASSERT_EQ(r.status, 0) << c.args.front() << r.err;
        const QImage expected = Expected(Bytes(c.bytes.begin(), c.bytes.end()), c.version, c.level, c.mask);
        EXPECT_EQ(FromPbm(r.out), expected.scaled(expected.size() * c.scale)) << c.args.front();
    }
}

TEST_F(ToolTest, ExitStatusAndMessageOfEveryCommandLine)
{
    const std::string missing = (dir_ / "missing").string();
    const std::string tty = "sh -c 'script -qec \"$0\" /dev/null'"; // runs the tool on a terminal
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string fragment; // in standard output or error
        std::string input = "";
        std::string shell = "";
    };
    const Case cases[] = {
        {{"-V"}, 0, "zarvex-qr 4.0.1\n"},
        {{"--version"}, 0, "zarvex-qr 4.0.1\n"},
        {{"--help"}, 0, "Exit status"},
        {{"--verbose", "-lH", "-v", "2", "hi"}, 0, "version 2 (25x25 modules), level H, mask "},
        {{"--verbose", "-m", "5", "hi"}, 0, "level M, mask 5\n"},
        {{"-t", "pbm", "--margin", "0", "hi"}, 0, "P4\n21 21\n"},
        {{"-t", "svg", "--foreground", "112233", "--background=ffffff80", "hi"}, 0,
         "viewBox=\"0 0 29 29\" shape-rendering=\"crispEdges\">\n<rect width=\"100%\" height=\"100%\" "
         "fill=\"#FFFFFF\" fill-opacity=\"0.502\"/>\n<path fill=\"#112233\" d=\"M4,4h1v1h-1zM5,4h1v1h-1z"},
        {{"-v", "1", "-l", "H", "seventeen letters"}, 1, "do not fit version 1 at level H"},
        {{std::string(3000, 'x')}, 1, "do not fit any version (1-40) at level M"},
        {{std::string(8193, '1')}, 1, "longer than 8192 bytes"},
        {{"-i", "/dev/zero"}, 1, "more than 8192 bytes"},
        {{}, 1, "standard input holds more than 8192 bytes", std::string(8193, 'a')},
        {{}, 2, "standard input was empty"},
        {{"-v", "41", "x"}, 2, "--symversion: must be 0 (automatic) or 1-40, not \"41\""},
        {{"-v", "-1", "x"}, 2, "must be 0 (automatic) or 1-40"},
        {{"-v", "ten", "x"}, 2, "must be 0 (automatic) or 1-40"},
        {{"-m", "8", "x"}, 2, "--mask: must be auto or 0-7, not \"8\""},
        {{"-m", "-5", "x"}, 2, "must be auto or 0-7"},
        {{"-l", "X", "x"}, 2, "--level: must be L, M, Q or H"},
        {{"--scale=0", "x"}, 2, "--scale: must be 1-100"},
        {{"--margin", "101", "x"}, 2, "--margin: must be 0-100"},
        {{"--foreground", "12345", "x"}, 2, "must be RRGGBB or RRGGBBAA"},
        {{"-t", "jpg", "x"}, 2, "must be png, svg, pbm, utf8 (txt) or ascii"},
        {{"-o", (dir_ / "x.jpg").string(), "x"}, 2, "name it .png, .svg, .pbm or .txt, or give -t"},
        {{"-o", (dir_ / "noext").string(), "x"}, 2, "from its extension"},
        {{"--bogus", "x"}, 2, "unknown option --bogus"},
        {{"a", "b"}, 2, "more than one TEXT"},
        {{"-v"}, 2, "--symversion needs a value"},
        {{"-i", missing}, 2, "cannot read " + missing + ": No such file"},
        {{"-i", dir_.string()}, 2, "cannot read " + dir_.string() + ": it is a folder"},
        {{"-i", "-", "hi"}, 2, "either TEXT or -i FILE"},
        {{"--encoding", "latin1", "x"}, 2, "--encoding: must be utf-8, gbk or shift-jis"},
        {{"--encoding", "gbk", "smile \xF0\x9F\x98\x80"}, 2,
         "\"\xF0\x9F\x98\x80\" at byte 6 cannot be written in GBK"},
        {{"--encoding", "shift-jis", "ab€"}, 2, "\"€\" at byte 2 cannot be written in SHIFT_JIS"},
        {{"--encoding", "shift-jis", "a\xFFz"}, 2, "\"\xFF\" at byte 1"},
        {{"--encoding", "utf-8", "a\xFFz"}, 2, "not valid UTF-8 at byte 1"},
        {{"\xE4\xBD"}, 2, "not valid UTF-8 at byte 0"}, // cut short
        {{"-t", "png", "hi"}, 2, "will not write png to a terminal", "", tty},
        {{"-o", (dir_ / "no-such-dir" / "x.pbm").string(), "hi"}, 3, "cannot write"},
    };
    for (const Case& c : cases) {
        const std::string line = testing::PrintToString(c.args).substr(0, 200);
        const Result r = Run(c.args, c.input, c.shell);
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
        EXPECT_NE((r.out + r.err).find(c.fragment), std::string::npos) << line << "\n" << r.out.substr(0, 300) << r.err;
    }
}

TEST_F(ToolTest, TerminalTextIsExact)
{
    // Version 1, mask 0: the symbol drawn as ASCII with its dark modules
    // ("--invert"), as half blocks both ways (23 rows: the last line has top
    // halves only); "." stands for a blank.
    const std::string asciiDark = R"(
##############......##..##..##############
##..........##..........##..##..........##
##..######..##..##..##......##..######..##
##..######..##..........##..##..######..##
##..######..##....##..####..##..######..##
##..........##....######....##..........##
##############..##..##..##..##############
................##..##....................
######..##########..##..######......##....
..####........##....####..##..##..########
..##################..##..######..########
....####..............######..######..##..
##....##..####..##..####..######....##....
................##..##......##......######
##############..######..##......##....####
##..........##..######......##......######
##..######..##..####....##..##..##..##..##
##..######..##....##..##..##..##..##..##..
##..######..##..########..######..####..##
##..........##..####..######..######..##..
##############..##....##..######..########
)";
    const std::string utf8Dark = R"(
.▄▄▄▄▄▄▄...▄.▄.▄▄▄▄▄▄▄.
.█.▄▄▄.█.▄.▄.▀.█.▄▄▄.█.
.█.███.█..▄.▄█.█.███.█.
.█▄▄▄▄▄█.▄▀█▀▄.█▄▄▄▄▄█.
.▄▄▄.▄▄▄▄█.█.▄▄▄...▄...
..██▄▄▄▄█▄▄▀█.█▄█.████.
.▄.▀█.▄▄.▄.▄█▀█▄█▀▀▄▀..
.▄▄▄▄▄▄▄.█▄█.▄.▀.▄.▀██.
.█.▄▄▄.█.██▀.▄.█.▄.█▀█.
.█.███.█.▄█▄█.█▄█.█▄▀▄.
.█▄▄▄▄▄█.█▀.█▀█▄█▀█▄█▄.
.......................
)";
    const std::string utf8Light = R"(
█▀▀▀▀▀▀▀███▀█▀█▀▀▀▀▀▀▀█
█.█▀▀▀█.█▀█▀█▄█.█▀▀▀█.█
█.█...█.██▀█▀.█.█...█.█
█.▀▀▀▀▀.█▀▄.▄▀█.▀▀▀▀▀.█
█▀▀▀█▀▀▀▀.█.█▀▀▀███▀███
██..▀▀▀▀.▀▀▄.█.▀.█....█
█▀█▄.█▀▀█▀█▀.▄.▀.▄▄▀▄██
█▀▀▀▀▀▀▀█.▀.█▀█▄█▀█▄..█
█.█▀▀▀█.█..▄█▀█.█▀█.▄.█
█.█...█.█▀.▀.█.▀.█.▀▄▀█
█.▀▀▀▀▀.█.▄█.▄.▀.▄.▀.▀█
▀▀▀▀▀▀▀▀▀▀▀▀▀▀▀▀▀▀▀▀▀▀▀
)";
    auto text = [](std::string s, char blank, char drawn = '#') {
        for (char& c : s)
            c = c == '.' ? blank : c == '#' ? drawn : c;
        return s.substr(1); // the line break after the raw string's opening
    };
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-t", "ascii", "--margin", "0", "--invert"}, text(asciiDark, ' ')},
        {{"-tascii", "--margin=0"}, text(asciiDark, '#', ' ')},
        {{"-t", "txt", "--margin", "1", "--invert"}, text(utf8Dark, ' ')},
        {{"--margin", "1"}, text(utf8Light, ' ')}, // utf8 is the type on standard output
    };
    for (auto [args, expected] : cases) {
        args.insert(args.end(), {"-v", "1", "-l", "L", "-m", "0", "hi"});
        const Result r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, expected) << testing::PrintToString(args);
    }
}

TEST_F(ToolTest, PngIsCompressedReadableAndTakesColoursAndTransparency)
{
    // Version 40 at 10 pixels per module: 1850 x 1850 pixels, 428 KB uncompressed.
    std::string text;
    std::mt19937 rng(3);
    for (int i = 0; i < 2300; ++i)
        text += static_cast<char>('a' + rng() % 26);
    const fs::path png = dir_ / "big.png"; // PNG from the extension
    ASSERT_EQ(Run({"-v", "40", "-s", "10", "-o", png.string(), "--foreground", "112233", "--background", "ffffff80",
                   text}).status, 0);
    EXPECT_LT(fs::file_size(png), 16000u);
    const QImage read(QString::fromStdString(png.string()));
    ASSERT_EQ(read.width(), 1850);
    EXPECT_EQ(read.pixel(0, 0), qRgba(255, 255, 255, 0x80)) << "the margin, half transparent";
    EXPECT_EQ(read.pixel(40, 40), qRgba(0x11, 0x22, 0x33, 255)) << "the finder's corner module";
    EXPECT_EQ(zarvex::test::Decode(read), Bytes(text.begin(), text.end()));
}

TEST_F(ToolTest, FailedWriteLeavesTheOldFileInPlace)
{
    // A file size limit of 1 KiB makes the write of a large SVG fail part-way.
    const fs::path svg = dir_ / "old.svg";
    std::ofstream(svg) << "old content";
    const Result r = Run({"-v", "10", "-o", svg.string(), "hi"}, "", "sh -c 'trap \"\" XFSZ; ulimit -f 1; eval \"$0\"'");
    EXPECT_EQ(r.status, 3) << r.err; // the message is in ExitStatusAndMessageOfEveryCommandLine
    EXPECT_EQ(Slurp(svg), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 4) << "a temporary file was left";
}

TEST_F(ToolTest, OutputThroughALinkOrIntoAPipeKeepsIt)
{
    // -o /dev/stdout, a named pipe: the bytes go into it, and it stays a pipe.
    const fs::path fifo = dir_ / "pipe.svg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Run({"-o", fifo.string(), "hi"}).status, 0);
    char head[5] = {};
    EXPECT_EQ(::read(reader, head, 5), 5);
    ::close(reader);
    EXPECT_EQ(std::string(head, 5), "<?xml");
    EXPECT_TRUE(fs::is_fifo(fifo));

    // A link: the file it names gets the picture, and the link stays.
    const fs::path file = dir_ / "real.svg", link = dir_ / "link.svg";
    std::ofstream(file) << "old";
    fs::create_symlink(file, link);
    EXPECT_EQ(Run({"-o", link.string(), "hi"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Slurp(file).substr(0, 5), "<?xml");
}
