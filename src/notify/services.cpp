#include "notify/services.h"

#include "config/ini_file.h"
#include "config/settings.h"
#include "notify/http_post.h"

namespace zarvex::notify {

namespace {

constexpr const char* kVersion = "4.0.1";

std::string TrimSpace(const std::string& s)
{
    const char* space = " \t\r\n\f\v";
    const size_t begin = s.find_first_not_of(space);
    if (begin == std::string::npos)
        return {};
    return s.substr(begin, s.find_last_not_of(space) - begin + 1);
}

size_t Utf8Characters(const std::string& s)
{
    size_t n = 0;
    for (const unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

} // namespace

std::string ServiceHost(const std::filesystem::path& configFile)
{
    const std::string host = TrimSpace(config::ReadIniValue(configFile, config::kSection, "server"));
    return host.empty() ? kDefaultServiceHost : host;
}

std::string EncodeAddress(const std::string& address)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : address) {
        if (c < 0x20 || c == 0x7F || c == ' ' || c == '#' || c >= 0x80) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string NotificationUrl(const std::string& host, const std::string& address)
{
    return "http://" + host + "/quorel401/mail.asp?usermail=" + EncodeAddress(address);
}

std::string UpdateUrl(const std::string& host)
{
    return "http://" + host + "/quorel401/vers.asp";
}

std::optional<std::string> UpdateMessage(const HttpResponse& answer)
{
    if (!answer.completed || answer.status < 200 || answer.status > 299)
        return std::nullopt;
    const std::string latest = TrimSpace(answer.body);
    if (latest.empty() || Utf8Characters(latest) > 64 || latest == kVersion)
        return std::nullopt;
    return std::string("你使用的版本为") + kVersion + "\r\n软件最新版本为" + latest + ",为了更好的体验，请下载最新版本！";
}

} // namespace zarvex::notify
