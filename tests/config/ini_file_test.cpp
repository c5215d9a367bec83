#include "config/ini_file.h"
#include "config/number_text.h"
#include "config/settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <functional>
#include <grp.h>
#include <iterator>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
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
    std::string Names() // of the folder's entries, sorted
    {
        std::set<std::string> sorted;
        for (const auto& entry : fs::directory_iterator(dir_))
            sorted.insert(entry.path().filename().string());
        std::string names;
        for (const auto& name : sorted)
            names += name + " ";
        return names;
    }
    fs::path dir_, file_;
};

// Runs `write` as a user without privileges and returns its result. Root's
// writes ignore permission bits, so as root it runs in a child process that
// has given them up, and the folder is handed over to that user.
bool AsUnprivileged(const fs::path& dir, const std::function<bool()>& write)
{
    if (::geteuid() != 0)
        return write();
    constexpr uid_t kNobody = 65534;
    EXPECT_EQ(::chown(dir.c_str(), kNobody, kNobody), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        ::_exit(write() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2) << "could not give up root";
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

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
    EXPECT_EQ(Names(), "config.ini ");
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
    // What the system refuses the user: a read-only file in a writable folder
    // (replacing it through the folder would work), and a read-only folder.
    for (const auto& [fileMode, dirMode] : {std::pair{0444, 0755}, std::pair{0644, 0555}}) {
        ::chmod(file_.c_str(), static_cast<mode_t>(fileMode));
        ::chmod(dir_.c_str(), static_cast<mode_t>(dirMode));
        EXPECT_FALSE(AsUnprivileged(dir_, [&] { return WriteIniValue(file_, "con", "fz", "61"); })) << std::oct << fileMode;
        EXPECT_EQ(Content(), "[con]\nfz=60\n");
    }
    ::chmod(dir_.c_str(), 0755);
    // A GBK file cannot hold this character.
    Write("[con]\ngame=\xD3\xCE\n");
    EXPECT_FALSE(WriteIniValue(file_, "con", "game", "\xF0\x9F\x98\x80"));
    EXPECT_EQ(Content(), "[con]\ngame=\xD3\xCE\n");
}

TEST_F(IniFileTest, FolderThatCannotBeListedStillTakesWrites)
{
    // Writable and searchable but not readable: the system lets the user replace the file.
    Write("[con]\nfz=60\n");
    ::chmod(file_.c_str(), 0666);
    ::chmod(dir_.c_str(), 0300);
    EXPECT_TRUE(AsUnprivileged(dir_, [&] { return WriteIniValue(file_, "con", "fz", "61"); }));
    ::chmod(dir_.c_str(), 0755);
    EXPECT_EQ(Content(), "[con]\nfz=61\n");
}

TEST_F(IniFileTest, LinkedFileIsWrittenThrough)
{
    fs::create_directories(dir_ / "real");
    std::ofstream(dir_ / "real" / "config.ini") << "[con]\nfz=60\n";
    fs::create_symlink("real/config.ini", file_);
    ASSERT_TRUE(WriteIniValue(file_, "con", "fz", "61"));
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(Content(), "[con]\nfz=61\n");
}

TEST_F(IniFileTest, ConcurrentWritersKeepEachOthersKeys)
{
    // A link planted where a predictable temporary name would be is never followed.
    std::ofstream(dir_ / "victim") << "keep";
    fs::create_symlink(dir_ / "victim", dir_ / "config.ini.new");
    Write("[con]\n");
    constexpr int kWrites = 50;
    std::atomic<int> failed = 0;
    auto writer = [&](std::string prefix) {
        for (int i = 0; i < kWrites; ++i)
            failed += WriteIniValue(file_, "con", prefix + std::to_string(i), "v") ? 0 : 1;
    };
    std::thread a(writer, "a"), b(writer, "b");
    a.join();
    b.join();
    EXPECT_EQ(failed, 0);
    int lost = 0;
    for (int i = 0; i < kWrites; ++i)
        for (const char* prefix : {"a", "b"})
            lost += ReadIniValue(file_, "con", prefix + std::to_string(i)) != "v";
    EXPECT_EQ(lost, 0);
    std::ifstream victim(dir_ / "victim");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "keep");
    EXPECT_EQ(Names(), "config.ini config.ini.new victim ");
}

TEST_F(IniFileTest, ALockHeldForeverDoesNotHangTheWriter)
{
    // Anyone who may read the folder can lock it, and a stopped program keeps
    // its lock: the write must not wait for it without end.
    Write("[con]\nfz=60\n");
    const int held = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    auto write = std::async(std::launch::async, [&] { return WriteIniValue(file_, "con", "fz", "61"); });
    const bool returned = write.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    ::close(held);
    EXPECT_TRUE(returned);
    EXPECT_TRUE(write.get());
    EXPECT_EQ(Content(), "[con]\nfz=61\n");
}

TEST_F(IniFileTest, EncodingAndLineEndsSurviveAWrite)
{
    // "游戏" and "张三" in GBK, as saved on a Chinese Windows.
    const std::string gbkGame = "\xD3\xCE\xCF\xB7", gbkName = "\xD5\xC5\xC8\xFD";
    const struct {
        const char* what;
        std::string before, after;
    } cases[] = {
        {"byte-order mark", "\xEF\xBB\xBF[con]\r\ngame=游戏\r\n", "\xEF\xBB\xBF[con]\r\ngame=游戏\r\nemail=张三@163.com\r\n"},
        {"lone CR", "[con]\rgame=游戏\r", "[con]\rgame=游戏\remail=张三@163.com\r"},
        {"CR ending the last line", "[con]\r\ngame=游戏\r\nemail=a@163.com\r", "[con]\r\ngame=游戏\r\nemail=张三@163.com\r"},
        {"GBK", "[con]\r\ngame=" + gbkGame + "\r\n", "[con]\r\ngame=" + gbkGame + "\r\nemail=" + gbkName + "@163.com\r\n"},
    };
    for (const auto& c : cases) {
        Write(c.before);
        EXPECT_EQ(ReadIniValue(file_, "con", "game"), "游戏") << c.what;
        ASSERT_TRUE(WriteIniValue(file_, "con", "email", "张三@163.com")) << c.what;
        EXPECT_EQ(Content(), c.after) << c.what;
        EXPECT_EQ(ReadIniValue(file_, "con", "email"), "张三@163.com") << c.what;
    }
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
    ::chmod(file_.c_str(), 0640); // a mode the umask below would not give a new file
    // Root rewriting a user's file must leave it the user's (only root can change an owner).
    constexpr uid_t kNobody = 65534;
    const bool asRoot = ::geteuid() == 0;
    if (asRoot)
        ASSERT_EQ(::chown(file_.c_str(), kNobody, kNobody), 0);
    const mode_t umask = ::umask(077);
    const bool written = WriteIniValue(file_, "con", "fz", "61");
    ::umask(umask);
    ASSERT_TRUE(written);
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    if (asRoot)
        EXPECT_TRUE(st.st_uid == kNobody && st.st_gid == kNobody) << st.st_uid << ":" << st.st_gid;
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
