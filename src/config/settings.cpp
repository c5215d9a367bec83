#include "config/settings.h"

#include "config/ini_file.h"
#include "config/number_text.h"

namespace zarvex::config {

std::filesystem::path ConfigPath(const std::filesystem::path& programFolder)
{
    return programFolder / kFileName;
}

int16_t ReadNumber(const std::filesystem::path& file, const NumberSetting& setting)
{
    return ParseInt16(ReadIniValue(file, kSection, setting.key)).value_or(setting.fallback);
}

std::string ReadText(const std::filesystem::path& file, const TextSetting& setting)
{
    return ReadIniValue(file, kSection, setting.key);
}

bool WriteText(const std::filesystem::path& file, const char* key, const std::string& value)
{
    return WriteIniValue(file, kSection, key, value);
}

} // namespace zarvex::config
