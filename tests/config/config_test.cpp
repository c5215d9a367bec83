// The settings file: the INI reader and writer, numbers as typed, and where
// the files are found.
#include "config/file_locations.h"
#include "config/ini_file.h"
#include "config/number_text.h"
#include "config/settings.h"

#include "support/temp_folder.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

using namespace zarvex::config;
using zarvex::test::AsUnprivileged;
using zarvex::test::Slurp;
namespace fs = std::filesystem;

namespace {

void Put(const fs::path& file, const std::string& text = "")
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

class IniFileTest : public ::testing::Test {
protected:
    void Write(const std::string& s) { Put(file_, s); }
    std::string Content() { return Slurp(file_); }
    long Entries() { return std::distance(fs::directory_iterator(dir_), {}); } // a temporary file stays: one more
    zarvex::test::TempFolder temp_{"ini"};
    const fs::path dir_ = temp_.Path(), file_ = dir_ / "config.ini";
};

} // namespace

TEST_F(IniFileTest, AWriteChangesOneLineAndKeepsTheRestByteForByte)
{
    // "游戏" and "张三" in GBK, as saved on a Chinese Windows.
    const std::string gbkGame = "\xD3\xCE\xCF\xB7", gbkName = "\xD5\xC5\xC8\xFD";
    const std::string crlf = "; settings\r\n[other]\r\nfz=1\r\n\r\n[con]\r\nfz=60\r\nchgwnd = 70\r\n; keep me\r\n"
                             "email=a@163.com\r\n\r\n[tail]\r\nx=y";
    const struct {
        const char* what;
        std::optional<std::string> before; // none: no file
        const char* section;
        const char* key;
        std::string value;
        std::optional<std::string> after; // none: refused, the file unchanged
    } cases[] = {
        {"replaced in place", crlf, "con", "chgwnd", "45",
         "; settings\r\n[other]\r\nfz=1\r\n\r\n[con]\r\nfz=60\r\nchgwnd=45\r\n; keep me\r\n"
         "email=a@163.com\r\n\r\n[tail]\r\nx=y"},
        {"a new key after the section's last line", crlf, "con", "game", "game1",
         "; settings\r\n[other]\r\nfz=1\r\n\r\n[con]\r\nfz=60\r\nchgwnd = 70\r\n; keep me\r\n"
         "email=a@163.com\r\ngame=game1\r\n\r\n[tail]\r\nx=y"},
        {"names in any case", "[CON]\nFZ=12\n", "con", "fz", "13", "[CON]\nfz=13\n"},
        {"no file yet", std::nullopt, "con", "tips", "2", "[con]\ntips=2\n"},
        {"no final line break", "[a]\nb=c", "con", "fz", "5", "[a]\nb=c\n[con]\nfz=5\n"},
        {"a section not the last", "[a]\nb=c\n[con]\nfz=5\n", "a", "d", "e", "[a]\nb=c\nd=e\n[con]\nfz=5\n"},
        {"a long value whole", std::nullopt, "con", "game", std::string(60, 'x') + " 第二个 《测试》",
         "[con]\ngame=" + std::string(60, 'x') + " 第二个 《测试》\n"},
        {"an empty value", "[con]\n", "con", "empty", "", "[con]\nempty=\n"},
        {"byte-order mark", "\xEF\xBB\xBF[con]\r\ngame=游戏\r\n", "con", "email", "张三@163.com",
         "\xEF\xBB\xBF[con]\r\ngame=游戏\r\nemail=张三@163.com\r\n"},
        {"lone CR", "[con]\rgame=游戏\r", "con", "email", "张三@163.com", "[con]\rgame=游戏\remail=张三@163.com\r"},
        {"CR ending the last line", "[con]\r\ngame=游戏\r\nemail=a@163.com\r", "con", "email", "张三@163.com",
         "[con]\r\ngame=游戏\r\nemail=张三@163.com\r"},
        {"GBK", "[con]\r\ngame=" + gbkGame + "\r\n", "con", "email", "张三@163.com",
         "[con]\r\ngame=" + gbkGame + "\r\nemail=" + gbkName + "@163.com\r\n"},
        {"a line break would split the line", "[con]\nfz=60\n", "con", "email", "a@163.com\n[evil]", std::nullopt},
        {"a GBK file cannot hold this character", "[con]\ngame=\xD3\xCE\n", "con", "game", "\xF0\x9F\x98\x80",
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(file_);
        if (c.before)
            Write(*c.before);
        EXPECT_EQ(WriteIniValue(file_, c.section, c.key, c.value), c.after.has_value());
        EXPECT_EQ(Content(), c.after.value_or(c.before.value_or("")));
        if (c.after)
            EXPECT_EQ(ReadIniValue(file_, c.section, c.key), c.value);
        EXPECT_EQ(Entries(), 1);
    }
}

TEST_F(IniFileTest, ReadsTrimTheValueAndNumbersFallBackToDefaults)
{
    Write("[CON]\nemail =  a=b@163.com  \ngame=\"quoted\"\nfz= 1000 \nchgwnd=2.5\ntips=-3\n");
    EXPECT_EQ(ReadIniValue(file_, "Con", "Email"), "a=b@163.com");
    EXPECT_EQ(ReadIniValue(file_, "con", "game"), "quoted");
    EXPECT_EQ(ReadIniValue(file_, "con", "missing"), "");
    EXPECT_EQ(ReadNumber(file_, kThreshold), 1000) << "not cut to three characters";
    EXPECT_EQ(ReadNumber(file_, kSwitchInterval), 2);
    EXPECT_EQ(ReadNumber(file_, kTips), -3);
    Write("[con]\nfz=abc\nchgwnd=\ntips=70000\n");
    EXPECT_EQ(ReadNumber(file_, kThreshold), 60);
    EXPECT_EQ(ReadNumber(file_, kSwitchInterval), 70);
    EXPECT_EQ(ReadNumber(file_, kTips), 0);
}

TEST_F(IniFileTest, FailedWriteKeepsTheOldFile)
{
    Write("[con]\nfz=60\n");
    // What the system refuses the user: a read-only file in a writable folder
    // (replacing it through the folder would work), and a read-only folder;
    // what it allows: a folder writable and searchable but not readable.
    const struct {
        mode_t file, dir;
        bool allowed;
    } modes[] = {{0444, 0755, false}, {0644, 0555, false}, {0666, 0300, true}};
    for (const auto& m : modes) {
        ::chmod(file_.c_str(), m.file);
        ::chmod(dir_.c_str(), m.dir);
        EXPECT_EQ(AsUnprivileged([&] { return WriteIniValue(file_, "con", "fz", "61"); }, dir_), m.allowed)
            << std::oct << m.file << " " << m.dir;
        ::chmod(dir_.c_str(), 0755);
        EXPECT_EQ(Content(), m.allowed ? "[con]\nfz=61\n" : "[con]\nfz=60\n");
    }
    // A folder where the file should be: it cannot be read, so it must not be clobbered.
    fs::remove(file_);
    fs::create_directories(file_);
    EXPECT_FALSE(WriteIniValue(file_, "con", "fz", "1"));
    EXPECT_TRUE(fs::is_directory(file_));
}

TEST_F(IniFileTest, ConcurrentWritersKeepEachOthersKeys)
{
    // A link planted where a predictable temporary name would be is never followed.
    std::ofstream(dir_ / "victim") << "keep";
    fs::create_symlink(dir_ / "victim", dir_ / "config.ini.new");
    Write("[con]\n");
    constexpr int kWrites = 50;
    auto writer = [&](std::string prefix) {
        for (int i = 0; i < kWrites; ++i)
            WriteIniValue(file_, "con", prefix + std::to_string(i), "v");
    };
    std::thread a(writer, "a"), b(writer, "b");
    a.join();
    b.join();
    EXPECT_EQ(std::ranges::count(Content(), '\n'), 1 + 2 * kWrites) << "a line for each key, none lost";
    EXPECT_EQ(Slurp(dir_ / "victim"), "keep");
    EXPECT_TRUE(fs::is_symlink(dir_ / "config.ini.new"));
    EXPECT_EQ(Entries(), 3);
}

// A rewrite goes through a link to the real file and keeps its mode and
// owner; a lock on the folder held for good (anyone who may read the folder
// can take one, and a stopped program keeps it) does not make it wait without end.
TEST_F(IniFileTest, ARewriteKeepsTheLinkTheModeAndTheOwnerAndOutwaitsAStuckLock)
{
    fs::create_directories(dir_ / "real");
    std::ofstream(dir_ / "real" / "config.ini") << "[con]\nfz=60\n";
    fs::create_symlink("real/config.ini", file_);
    ::chmod(file_.c_str(), 0640); // a mode the umask below would not give a new file
    // Root rewriting a user's file must leave it the user's (only root can change an owner).
    constexpr uid_t kNobody = 65534;
    const bool asRoot = ::geteuid() == 0;
    if (asRoot)
        ASSERT_EQ(::chown(file_.c_str(), kNobody, kNobody), 0);
    const int held = ::open((dir_ / "real").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const mode_t umask = ::umask(077);
    auto write = std::async(std::launch::async, [&] { return WriteIniValue(file_, "con", "fz", "61"); });
    EXPECT_TRUE(write.wait_for(std::chrono::seconds(30)) == std::future_status::ready) << "still waiting";
    ::close(held);
    const bool written = write.get();
    ::umask(umask);
    ASSERT_TRUE(written);
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(Content(), "[con]\nfz=61\n");
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    if (asRoot)
        EXPECT_TRUE(st.st_uid == kNobody && st.st_gid == kNobody) << st.st_uid << ":" << st.st_gid;
}

TEST(NumberText, WholeNumbersAsTyped)
{
    const std::pair<const char*, std::optional<int16_t>> cases[] = {
        {"45", 45}, {"  -7 ", -7}, {"+3", 3}, {"2.5", 2}, {"3.5", 4}, {"3.50001", 4}, {"-2.5", -2}, {"-2.51", -3},
        {".6", 1}, {"32767", 32767}, {"-32768", -32768}, {"32767.5", std::nullopt} /* rounds to 32768 */,
        {"32768", std::nullopt}, {"", std::nullopt}, {" ", std::nullopt}, {"abc", std::nullopt}, {"1a", std::nullopt},
        {"1 2", std::nullopt}, {"--1", std::nullopt}, {".", std::nullopt}, {"1e3", std::nullopt},
        {"99999999999999999999999", std::nullopt},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ParseInt16(text), value) << text;
    const std::pair<const char*, int> leading[] = {{"87", 87}, {"  87abc", 87}, {"Ctrl", 0}, {"86.5", 86}, {"", 0}};
    for (const auto& [text, value] : leading)
        EXPECT_EQ(LeadingNumber(text), value) << text;
}

// A portable copy keeps its settings beside it; an installed one (its shipped
// files under <prefix>/share/zarvex) uses the user's folder even where it
// could write beside the program, and starts from the shipped settings; so
// does a copy whose folder the user cannot write to. The sound: beside the
// program, then the user's folder, then the shipped one.
TEST(FileLocations, PortableBesideProgramInstalledInUserFolderAndTheSound)
{
    const zarvex::test::TempFolder root("locations");
    const fs::path user = root / "user";

    const fs::path portable = root / "portable";
    fs::create_directories(portable);
    const FileLocations p = LocateFiles(portable, user);
    EXPECT_EQ(p.configFile, portable / "config.ini");
    EXPECT_TRUE(p.defaultConfig.empty());
    EXPECT_TRUE(fs::is_empty(portable)) << "looking must leave nothing behind";

    const fs::path bin = root / "usr" / "bin";
    fs::create_directories(bin);
    Put(root / "usr/share/zarvex/config.ini", "[con]\ntips=3\n");
    fs::permissions(root / "usr/share/zarvex/config.ini", fs::perms::owner_read);
    const FileLocations i = LocateFiles(bin, user);
    EXPECT_EQ(i.configFile, user / "config.ini");
    ASSERT_TRUE(PrepareConfigFile(i));
    EXPECT_EQ(Slurp(user / "config.ini"), "[con]\ntips=3\n");
    EXPECT_NE(fs::status(user / "config.ini").permissions() & fs::perms::owner_write, fs::perms::none);

    // The next start finds the user's file and keeps it.
    Put(user / "config.ini", "[con]\ntips=1\n");
    ASSERT_TRUE(PrepareConfigFile(LocateFiles(bin, user)));
    EXPECT_EQ(Slurp(user / "config.ini"), "[con]\ntips=1\n");

    EXPECT_EQ(LocateFiles(bin, user).soundFile, bin / "tx.wav") << "where none is";
    for (const fs::path& f : {root / "usr/share/zarvex/tx.wav", user / "tx.wav", bin / "tx.wav"}) {
        Put(f);
        EXPECT_EQ(LocateFiles(bin, user).soundFile, f);
    }

    // Read-only: without a user folder there is nowhere else to go.
    Put(portable / "config.ini");
    fs::permissions(portable, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    for (const fs::path& userFolder : {user, fs::path()})
        EXPECT_TRUE(AsUnprivileged([&] {
            const FileLocations got = LocateFiles(portable, userFolder);
            return got.configFile == (userFolder.empty() ? portable : userFolder) / "config.ini"
                && got.defaultConfig == (userFolder.empty() ? fs::path() : portable / "config.ini");
        })) << userFolder;
}

// Another start looking meanwhile (or a kill mid-copy) never finds a cut-short
// copy of the shipped settings, and no temporary file stays behind.
TEST(FileLocations, UserCopyAppearsWhole)
{
    const zarvex::test::TempFolder root("whole");
    const std::string settings = "[con]\n;" + std::string(8 << 20, 'x') + "\n";
    Put(root / "shipped.ini", settings);
    const FileLocations files {root / "user" / "config.ini", {}, root / "shipped.ini"};
    std::atomic<bool> done = false;
    std::thread start([&] {
        EXPECT_TRUE(PrepareConfigFile(files));
        done = true;
    });
    int cut = 0;
    while (!done) {
        std::error_code ec;
        const auto size = fs::file_size(files.configFile, ec);
        cut += !ec && size != settings.size();
    }
    start.join();
    EXPECT_EQ(cut, 0);
    EXPECT_EQ(fs::file_size(files.configFile), settings.size());
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "user"), {}), 1);
}

TEST(FileLocations, UserFolderFromEnvironment)
{
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(UserSettingsFolder(), fs::path("/cfg/zarvex"));
    ::setenv("XDG_CONFIG_HOME", "relative", 1); // invalid: ignored
    EXPECT_EQ(UserSettingsFolder(), fs::path("/home/someone/.config/zarvex"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserSettingsFolder(), fs::path("/home/someone/.config/zarvex"));
    ::setenv("HOME", home.c_str(), 1);
}
