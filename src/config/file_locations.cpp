#include "config/file_locations.h"

#include "config/settings.h"

#include <cstdlib>
#include <fstream>
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
    // Never over an existing file: another copy of the program may have made
    // it a moment ago. The copy is the user's to change, whatever the
    // original's permissions.
    if (!files.defaultConfig.empty() && !fs::exists(files.configFile, ec)
        && fs::copy_file(files.defaultConfig, files.configFile, fs::copy_options::skip_existing, ec))
        fs::permissions(files.configFile, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    return true;
}

} // namespace zarvex::config
