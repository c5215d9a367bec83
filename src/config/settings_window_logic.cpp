#include "config/settings_window_logic.h"

#include "config/ini_file.h"
#include "config/number_text.h"
#include "config/settings.h"

namespace zarvex::config {

std::optional<TimingSettings> CloseSettings(const std::filesystem::path& configFile, const std::string& chgText,
                                            const std::string& fzText, TimingSettings current)
{
    if (!ParseInt16(chgText) || !ParseInt16(fzText))
        return std::nullopt;
    WriteIniValue(configFile, kSection, kSwitchInterval.key, chgText);
    WriteIniValue(configFile, kSection, kThreshold.key, fzText);
    // Read back: a value the file does not hold keeps what the globals had.
    const auto fz = ParseInt16(ReadIniValue(configFile, kSection, kThreshold.key));
    const auto chg = ParseInt16(ReadIniValue(configFile, kSection, kSwitchInterval.key));
    return TimingSettings{fz.value_or(current.threshold), chg.value_or(current.switchInterval)};
}

} // namespace zarvex::config
