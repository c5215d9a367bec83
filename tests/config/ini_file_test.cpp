#include "config/ini_file.h"
#include "config/number_text.h"
#include "config/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace zarvex::config;
namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("zarvex-ini-" + std::to_string(::getpid()) + "-"
                                            + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = dir_ / "config.ini";
    }
    void TearDown() override
    {
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }
    void Write(const std::string& s) { std::ofstream(file_, std::ios::binary) << s; }
    std::string Content()
    {
        std::ifstream in(file_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::path dir_, file_;
};

} // namespace

TEST_F(IniFileTest, WriteReplacesInPlaceAndKeepsEverythingElse)
{
    Write("; settings\r\n[other]\r\nfz=1\r\n\r\n[con]\r\nfz=60\r\nchgwnd = 70\r\n; keep me\r\nemail=a@163.com\r\n\r\n[tail]\r\nx=y");
    ASSERT_TRUE(WriteIniValue(file_, "con", "chgwnd", "45"));
    EXPECT_EQ(Content(), "; settings\r\n[other]\r\nfz=1\r\n\r\n[con]\r\nfz=60\r\nchgwnd=45\r\n; keep me\r\n"
                         "email=a@163.com\r\n\r\n[tail]\r\nx=y");
    // A new key goes after the section's last line, before the blank line.
    ASSERT_TRUE(WriteIniValue(file_, "con", "game", "game1"));
    EXPECT_EQ(Content(), "; settings\r\n[other]\r\nfz=1\r\n\r\n[con]\r\nfz=60\r\nchgwnd=45\r\n; keep me\r\n"
                         "email=a@163.com\r\ngame=game1\r\n\r\n[tail]\r\nx=y");
    EXPECT_EQ(ReadIniValue(file_, "other", "fz"), "1");
    EXPECT_EQ(ReadIniValue(file_, "tail", "x"), "y");
    EXPECT_FALSE(fs::exists(dir_ / "config.ini.new"));
}

TEST_F(IniFileTest, NamesMatchWithoutRegardToCase)
{
    Write("[CON]\nFZ=12\n");
    EXPECT_EQ(ReadIniValue(file_, "con", "fz"), "12");
    EXPECT_EQ(ReadIniValue(file_, "Con", "Fz"), "12");
    ASSERT_TRUE(WriteIniValue(file_, "con", "fz", "13"));
    EXPECT_EQ(Content(), "[CON]\nfz=13\n");
}

TEST_F(IniFileTest, CreatesFileSectionAndKey)
{
    EXPECT_EQ(ReadIniValue(file_, "con", "fz"), "");
    ASSERT_TRUE(WriteIniValue(file_, "con", "tips", "2"));
    EXPECT_EQ(Content(), "[con]\ntips=2\n");
    Write("[a]\nb=c"); // no final line break
    ASSERT_TRUE(WriteIniValue(file_, "con", "fz", "5"));
    EXPECT_EQ(Content(), "[a]\nb=c\n[con]\nfz=5\n");
    ASSERT_TRUE(WriteIniValue(file_, "a", "d", "e"));
    EXPECT_EQ(Content(), "[a]\nb=c\nd=e\n[con]\nfz=5\n");
}

TEST_F(IniFileTest, ValuesRoundTripWhole)
{
    const std::string longAddress = std::string(60, 'x') + "@163.com";
    const std::string chinese = "游戏窗口 第二个 《测试》";
    ASSERT_TRUE(WriteIniValue(file_, "con", "email", longAddress));
    ASSERT_TRUE(WriteIniValue(file_, "con", "game", chinese));
    ASSERT_TRUE(WriteIniValue(file_, "con", "fz", "1000"));
    ASSERT_TRUE(WriteIniValue(file_, "con", "empty", ""));
    EXPECT_EQ(ReadIniValue(file_, "con", "email"), longAddress);
    EXPECT_EQ(ReadIniValue(file_, "con", "game"), chinese);
    EXPECT_EQ(ReadNumber(file_, kThreshold), 1000) << "no truncation to three characters";
    EXPECT_EQ(ReadIniValue(file_, "con", "empty"), "");
    // Surrounding blanks go; a value with "=" in it stays whole.
    Write("[con]\nemail =  a=b@163.com  \ngame=\"quoted\"\n");
    EXPECT_EQ(ReadIniValue(file_, "con", "email"), "a=b@163.com");
    EXPECT_EQ(ReadIniValue(file_, "con", "game"), "quoted");
}

TEST_F(IniFileTest, NumbersFallBackToDefaults)
{
    Write("[con]\nfz=abc\nchgwnd=\ntips=70000\n");
    EXPECT_EQ(ReadNumber(file_, kThreshold), 60);
    EXPECT_EQ(ReadNumber(file_, kSwitchInterval), 70);
    EXPECT_EQ(ReadNumber(file_, kTips), 0);
    Write("[con]\nfz= 045 \nchgwnd=2.5\ntips=-3\n");
    EXPECT_EQ(ReadNumber(file_, kThreshold), 45);
    EXPECT_EQ(ReadNumber(file_, kSwitchInterval), 2);
    EXPECT_EQ(ReadNumber(file_, kTips), -3);
    fs::remove(file_);
    EXPECT_EQ(ReadNumber(file_, kThreshold), 60);
}

TEST_F(IniFileTest, FailedWriteKeepsTheOldFile)
{
    Write("[con]\nfz=60\n");
    // A line break would split the line: refused, nothing changes.
    EXPECT_FALSE(WriteIniValue(file_, "con", "email", "a@163.com\n[evil]"));
    EXPECT_EQ(Content(), "[con]\nfz=60\n");
    // The new file cannot be created (its name is taken by a folder).
    fs::create_directories(dir_ / "config.ini.new" / "busy");
    EXPECT_FALSE(WriteIniValue(file_, "con", "fz", "61"));
    EXPECT_EQ(Content(), "[con]\nfz=60\n");
    fs::remove_all(dir_ / "config.ini.new");
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; the permission case needs another user";
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(WriteIniValue(file_, "con", "fz", "61"));
    EXPECT_EQ(Content(), "[con]\nfz=60\n");
}

TEST_F(IniFileTest, UnreadableFileIsNeverReplaced)
{
    // A folder where the file should be: it cannot be read, so it must not be clobbered.
    fs::create_directories(file_);
    EXPECT_FALSE(WriteIniValue(file_, "con", "fz", "1"));
    EXPECT_TRUE(fs::is_directory(file_));
}

TEST_F(IniFileTest, PermissionsSurviveAWrite)
{
    Write("[con]\nfz=60\n");
    ::chmod(file_.c_str(), 0600);
    ASSERT_TRUE(WriteIniValue(file_, "con", "fz", "61"));
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(NumberText, WholeNumbersAsTyped)
{
    EXPECT_EQ(ParseInt16("45"), 45);
    EXPECT_EQ(ParseInt16("  -7 "), -7);
    EXPECT_EQ(ParseInt16("+3"), 3);
    EXPECT_EQ(ParseInt16("2.5"), 2);
    EXPECT_EQ(ParseInt16("3.5"), 4);
    EXPECT_EQ(ParseInt16("3.50001"), 4);
    EXPECT_EQ(ParseInt16("-2.5"), -2);
    EXPECT_EQ(ParseInt16("-2.51"), -3);
    EXPECT_EQ(ParseInt16(".6"), 1);
    EXPECT_EQ(ParseInt16("32767"), 32767);
    EXPECT_EQ(ParseInt16("-32768"), -32768);
    EXPECT_EQ(ParseInt16("32767.5"), std::nullopt) << "rounds to 32768";
    EXPECT_EQ(ParseInt16("32768"), std::nullopt);
    for (const char* bad : {"", " ", "abc", "1a", "1 2", "--1", ".", "1e3", "99999999999999999999999"})
        EXPECT_EQ(ParseInt16(bad), std::nullopt) << bad;

    EXPECT_EQ(LeadingNumber("87"), 87);
    EXPECT_EQ(LeadingNumber("  87abc"), 87);
    EXPECT_EQ(LeadingNumber("Ctrl"), 0);
    EXPECT_EQ(LeadingNumber("86.5"), 86);
    EXPECT_EQ(LeadingNumber(""), 0);
}
