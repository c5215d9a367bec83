#include "config/file_locations.h"

#include "config/settings.h"
#include "platform/profile_file.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace zarvex::config {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSoundName = "tx.wav";

// <prefix>/share/zarvex for a program in <prefix>/bin.
fs::path DataFolder(const fs::path& programFolder)
{
    return programFolder.parent_path() / "share" / "zarvex";
}

bool IsFile(const fs::path& p)
{
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec);
}

// Permission bits and access() do not tell the truth everywhere (Windows
// folder attributes, read-only mounts, access lists), so the folder is asked
// the real question: can a new file be made in it.
bool TakesNewFiles(const fs::path& folder)
{
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device random;
    std::string name = ".zarvex-probe-";
    for (int i = 0; i < 12; ++i)
        name += kDigits[random() % 36];
    const fs::path probe = folder / name;
    bool made = false;
    {
        std::ofstream out(probe, std::ios::binary);
        made = out.is_open();
    }
    std::error_code ec;
    fs::remove(probe, ec);
    return made;
}

fs::path FromEnvironment(const char* name)
{
#ifdef _WIN32
    std::wstring wide(name, name + std::char_traits<char>::length(name));
    const wchar_t* value = ::_wgetenv(wide.c_str());
#else
    const char* value = std::getenv(name);
#endif
    return value && *value ? fs::path(value) : fs::path();
}

} // namespace

FileLocations BesideProgram(const fs::path& programFolder)
{
    return {ConfigPath(programFolder), programFolder / kSoundName, {}};
}

fs::path UserSettingsFolder()
{
#ifdef _WIN32
    const fs::path appData = FromEnvironment("APPDATA");
    return appData.empty() ? fs::path() : appData / "Zarvex";
#else
    // A relative XDG_CONFIG_HOME is invalid and is to be ignored.
    fs::path base = FromEnvironment("XDG_CONFIG_HOME");
    if (!base.is_absolute()) {
        const fs::path home = FromEnvironment("HOME");
        base = home.is_absolute() ? home / ".config" : fs::path();
    }
    return base.empty() ? fs::path() : base / "zarvex";
#endif
}

FileLocations LocateFiles(const fs::path& programFolder, const fs::path& userFolder)
{
    const fs::path data = DataFolder(programFolder);
    const bool installed = IsFile(data / kFileName);

    FileLocations files = BesideProgram(programFolder);
    for (const fs::path& sound : {files.soundFile, userFolder.empty() ? fs::path() : userFolder / kSoundName,
                                  data / kSoundName}) {
        if (IsFile(sound)) {
            files.soundFile = sound;
            break;
        }
    }
    if (userFolder.empty() || (!installed && TakesNewFiles(programFolder)))
        return files;
    // A read-only portable copy starts from the settings it carries.
    files.defaultConfig = installed ? data / kFileName : files.configFile;
    if (!IsFile(files.defaultConfig))
        files.defaultConfig.clear();
    files.configFile = ConfigPath(userFolder);
    return files;
}

bool PrepareConfigFile(const FileLocations& files)
{
    std::error_code ec;
    fs::create_directories(files.configFile.parent_path(), ec);
    if (ec)
        return false;
    if (files.defaultConfig.empty() || fs::exists(files.configFile, ec))
        return true;
    std::ifstream in(files.defaultConfig, std::ios::binary);
    if (!in)
        return true;
    const std::string settings(std::istreambuf_iterator<char>(in), {});
    if (in.bad())
        return true;
    // The copy is written whole (and flushed) under a temporary name, then
    // linked into place, so another start or a kill mid-copy never leaves a
    // cut-short file. A link never replaces a file: another copy of the
    // program may have put one there a moment ago. The new file takes the
    // permissions of any new file, so it is the user's to change whatever
    // the original's.
    const fs::path temp = platform::TemporaryNameBeside(files.configFile);
    if (platform::ReplaceFileContent(temp, settings)) {
        fs::create_hard_link(temp, files.configFile, ec);
        // A file system without hard links: the rename leaves a moment in
        // which another start's new file could be replaced by this same copy.
        std::error_code absent;
        if (ec && ec != std::errc::file_exists && !fs::exists(files.configFile, absent) && !absent)
            fs::rename(temp, files.configFile, ec);
        fs::remove(temp, ec);
    }
    return true;
}

} // namespace zarvex::config
