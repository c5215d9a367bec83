// What the settings window does when it opens and closes, apart from Qt.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace zarvex::config {

inline constexpr const char* kSettingsRefusal = "窗口切换间隔和阀值必须是-32768到32767之间的整数";

struct TimingSettings {
    int16_t threshold;      // "fz"
    int16_t switchInterval; // "chgwnd"
};

// Closing with the boxes' texts: both must be whole numbers in the 16-bit
// range (blanks ignored, fractions rounded half to even), or the close is
// refused with kSettingsRefusal and nothing is written. Otherwise "chgwnd"
// then "fz" are written as typed, and both are read back from the file, in
// that order: what the globals then hold is what the file holds (a write the
// file refused leaves the value it still has).
std::optional<TimingSettings> CloseSettings(const std::filesystem::path& configFile, const std::string& chgText,
                                            const std::string& fzText, TimingSettings current);

} // namespace zarvex::config
