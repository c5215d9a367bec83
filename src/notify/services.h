// The two outside services: where they are, the URLs of their requests, and
// what the update check tells the user.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zarvex::notify {

struct HttpResponse;

inline constexpr const char* kDefaultServiceHost = "127.0.0.1:8080";

// "host" or "host:port" from the optional key "server" of section "con";
// the default service on this machine without it.
std::string ServiceHost(const std::filesystem::path& configFile);

// The address goes in as typed ("+" and "&" included), except what cannot
// stand in a URL or would change its meaning: control characters (line
// breaks among them), space, "#" and non-ASCII bytes are percent-encoded.
std::string EncodeAddress(const std::string& address);
std::string NotificationUrl(const std::string& host, const std::string& address);
std::string UpdateUrl(const std::string& host);

// The message for an update-service answer: only for a 2xx answer whose text,
// without surrounding white space, is non-empty, at most 64 characters and
// not this program's version. None otherwise (unreachable service, time-out,
// error page).
std::optional<std::string> UpdateMessage(const HttpResponse& answer);

} // namespace zarvex::notify
