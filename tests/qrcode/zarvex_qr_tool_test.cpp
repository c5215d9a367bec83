// The zarvex-qr command: its output formats and exit codes, run as a process.
#include "qrcode/fake_bar_code.h"
#include "qrcode/text_bytes.h"
#include "support/qr_readers.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

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
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("zarvex-qr-test-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    Result Run(const std::vector<std::string>& args, const std::string& input = "")
    {
        const fs::path in = dir_ / "stdin", out = dir_ / "stdout", err = dir_ / "stderr";
        std::ofstream(in, std::ios::binary) << input;
        std::string cmd = Quote(ZARVEX_QR_TOOL);
        for (const auto& a : args)
            cmd += " " + Quote(a);
        cmd += " <" + Quote(in) + " >" + Quote(out) + " 2>" + Quote(err);
        const int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
    }

    fs::path dir_;
};

QImage FromPbm(const std::string& pbm)
{
    // "P4\n<w> <h>\n" then packed rows.
    size_t pos = 0;
    auto token = [&]() {
        while (pos < pbm.size() && std::isspace(static_cast<unsigned char>(pbm[pos])))
            ++pos;
        const size_t start = pos;
        while (pos < pbm.size() && !std::isspace(static_cast<unsigned char>(pbm[pos])))
            ++pos;
        return pbm.substr(start, pos - start);
    };
    if (token() != "P4")
        return {};
    const int w = std::stoi(token()), h = std::stoi(token());
    ++pos;
    QImage img(w, h, QImage::Format_RGB32);
    const int rowBytes = (w + 7) / 8;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto byte = static_cast<unsigned char>(pbm.at(pos + static_cast<size_t>(y * rowBytes + x / 8)));
            img.setPixel(x, y, (byte >> (7 - x % 8)) & 1 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    return img;
}

QImage Expected(const Bytes& data, int32_t version = 0, int32_t level = 2, int32_t mask = -1)
{
    clsQRCode qr;
    return EncodeToPicture(qr, data, static_cast<int32_t>(data.size()), version, level, mask)
        ->convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST_F(ToolTest, PbmIsThePictureItself)
{
    const Result r = Run({"-t", "pbm", "HELLO WORLD"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FromPbm(r.out), Expected({'H', 'E', 'L', 'L', 'O', ' ', 'W', 'O', 'R', 'L', 'D'}));

    // Version, level and mask reach the encoder as given; --scale enlarges.
    const Result fixed = Run({"-t", "pbm", "-v", "5", "-l", "q", "-m", "6", "--scale", "3", "HELLO WORLD"});
    ASSERT_EQ(fixed.status, 0) << fixed.err;
    const QImage expected = Expected({'H', 'E', 'L', 'L', 'O', ' ', 'W', 'O', 'R', 'L', 'D'}, 5, 3, 6);
    EXPECT_EQ(FromPbm(fixed.out), expected.scaled(expected.width() * 3, expected.height() * 3));
}

TEST_F(ToolTest, InputFileBytesAreEncodedExactly)
{
    const std::string raw("\x00\x01\xff binary\r\n\x93\x5f", 14);
    std::ofstream(dir_ / "msg.bin", std::ios::binary) << raw;
    const Bytes bytes(raw.begin(), raw.end());
    const Result fromFile = Run({"-i", (dir_ / "msg.bin").string(), "-t", "pbm"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_EQ(FromPbm(fromFile.out), Expected(bytes));
    const Result fromStdin = Run({"-i", "-", "-t", "pbm"}, raw);
    EXPECT_EQ(fromStdin.out, fromFile.out);

    // A text in Shift_JIS is the same symbol as its bytes.
    std::ofstream(dir_ / "sjis.bin", std::ios::binary) << "\x8a\xc4\x8e\x8b"; // 監視
    EXPECT_EQ(Run({"--encoding", "shift-jis", "-t", "pbm", "監視"}).out,
              Run({"-i", (dir_ / "sjis.bin").string(), "-t", "pbm"}).out);
}

TEST_F(ToolTest, FormatsFromTheExtension)
{
    const fs::path png = dir_ / "hello.png", svg = dir_ / "hello.svg";
    ASSERT_EQ(Run({"HELLO WORLD", "-o", png.string(), "--scale", "4"}).status, 0);
    const QImage read(QString::fromStdString(png.string()));
    ASSERT_FALSE(read.isNull());
    EXPECT_EQ(read.width(), 29 * 4);
    EXPECT_EQ(zarvex::test::DecodeWithZbar(read, 1), Bytes({'H', 'E', 'L', 'L', 'O', ' ', 'W', 'O', 'R', 'L', 'D'}));

    ASSERT_EQ(Run({"HELLO WORLD", "-o", svg.string()}).status, 0);
    const std::string text = Slurp(svg);
    EXPECT_NE(text.find("<svg"), std::string::npos);
    EXPECT_NE(text.find("viewBox=\"0 0 29 29\""), std::string::npos);
    EXPECT_NE(text.find("M4,4h1v1h-1z"), std::string::npos) << "the finder's corner module";

    // Terminal text: 29 columns of half blocks on 15 lines.
    const Result txt = Run({"HELLO WORLD"});
    ASSERT_EQ(txt.status, 0);
    EXPECT_EQ(std::count(txt.out.begin(), txt.out.end(), '\n'), 15);
}

TEST_F(ToolTest, ExitCodesForTheFailurePaths)
{
    const Result tooMuch = Run({"-v", "1", "-l", "H", "seventeen letters"});
    EXPECT_EQ(tooMuch.status, 1);
    EXPECT_NE(tooMuch.err.find("version 1 at level H"), std::string::npos) << tooMuch.err;
    EXPECT_EQ(Run({std::string(3000, 'x')}).status, 1);
    EXPECT_EQ(Run({"-v", "-1", "x"}).status, 1);

    EXPECT_EQ(Run({}).status, 2);
    EXPECT_EQ(Run({"-l", "X", "hi"}).status, 2);
    EXPECT_EQ(Run({"-v", "ten", "hi"}).status, 2);
    EXPECT_EQ(Run({"--bogus", "hi"}).status, 2);
    EXPECT_EQ(Run({"-i", (dir_ / "missing").string()}).status, 2);
    EXPECT_EQ(Run({"-i", "-", "hi"}).status, 2);
    EXPECT_EQ(Run({"--encoding", "gbk", "smile \xF0\x9F\x98\x80"}).status, 2);
    EXPECT_EQ(Run({"-o", (dir_ / "no-such-dir" / "x.pbm").string(), "hi"}).status, 3);

    const Result help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"-i", "--encoding", "-v", "-l", "-m", "-o", "-t", "--scale", "--invert"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}
