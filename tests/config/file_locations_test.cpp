#include "config/file_locations.h"

#include "support/temp_folder.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

using namespace zarvex::config;
using zarvex::test::Slurp;
namespace fs = std::filesystem;

namespace {

void Put(const fs::path& file, const std::string& text = "")
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

} // namespace

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
        EXPECT_TRUE(zarvex::test::AsUnprivileged([&] {
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
