// Where the program's settings file and alert sound are. A portable copy keeps
// "config.ini" beside the program, as it always has. An installed copy (its
// shipped files under <prefix>/share/zarvex) or a copy in a folder the user
// cannot write keeps the settings in the user's own settings folder instead,
// so that a write is never silently refused at every start.
#pragma once

#include <filesystem>

namespace zarvex::config {

struct FileLocations {
    std::filesystem::path configFile;
    std::filesystem::path soundFile;
    // The shipped settings a new per-user "config.ini" starts from; empty when
    // the settings stay beside the program or nothing was shipped.
    std::filesystem::path defaultConfig;
};

// Both files beside the program, whatever the folder allows.
FileLocations BesideProgram(const std::filesystem::path& programFolder);

// The user's settings folder: $XDG_CONFIG_HOME/zarvex (by default
// ~/.config/zarvex), on Windows %APPDATA%\Zarvex. Empty when the environment
// names no home.
std::filesystem::path UserSettingsFolder();

// The decision. "config.ini" stays beside the program when the program is not
// installed and its folder takes new files (or no user folder is known);
// otherwise it is userFolder/config.ini. "tx.wav" is the first that exists
// of: beside the program, in userFolder, in the installed data folder; with
// none, the one beside the program (the sound then falls back to a beep).
// Only looks: the probe of the program folder leaves nothing behind.
FileLocations LocateFiles(const std::filesystem::path& programFolder, const std::filesystem::path& userFolder);

// Makes the per-user settings file exist before first use: creates its folder
// and copies the shipped default into it. Without a shipped default the file
// is left to the first write, and reading gives the built-in defaults. Does
// nothing for settings kept beside the program. False when the folder cannot
// be made.
bool PrepareConfigFile(const FileLocations& files);

} // namespace zarvex::config
