// The five settings of section "con" in "config.ini", beside the program.
// Numbers are 16-bit whole numbers; a missing, empty, non-numeric or
// out-of-range value falls back to the setting's default rather than failing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace zarvex::config {

inline constexpr const char* kSection = "con";
inline constexpr const char* kFileName = "config.ini";

struct NumberSetting {
    const char* key;
    int16_t fallback;
};

// Alert threshold in seconds, seconds between window switches, and how many
// more start-ups show the tips window.
inline constexpr NumberSetting kThreshold{"fz", 60};
inline constexpr NumberSetting kSwitchInterval{"chgwnd", 70};
inline constexpr NumberSetting kTips{"tips", 0};

struct TextSetting {
    const char* key;
};
inline constexpr TextSetting kEmail{"email"};
inline constexpr TextSetting kGame{"game"};
// Optional: on a Wayland desktop, the restore token of the last screen share,
// so that the desktop does not ask again at every start.
inline constexpr TextSetting kScreenCastToken{"screencast_token"};

// "config.ini" in the given program folder.
std::filesystem::path ConfigPath(const std::filesystem::path& programFolder);

int16_t ReadNumber(const std::filesystem::path& file, const NumberSetting& setting);
std::string ReadText(const std::filesystem::path& file, const TextSetting& setting);
bool WriteText(const std::filesystem::path& file, const char* key, const std::string& value);

} // namespace zarvex::config
