// A synchronous HTTP POST for the two outside services (notification and
// update): the fixed form header, an empty body, and the answer as text.
#pragma once

#include <string>

namespace zarvex::notify {

inline constexpr const char* kContentType = "application/x-www-form-urlencoded; charset=utf-8";

struct HttpOptions {
    // No request may hang the program: these bound the connection and the
    // whole exchange.
    long connectTimeoutMs = 5000;
    long totalTimeoutMs = 15000;
    // Only this much of an answer is read; the rest is ignored.
    size_t maxBodyBytes = 64 * 1024;
};

enum class HttpFailure {
    None,            // an answer arrived (whatever its status)
    CouldNotConnect, // refused, unknown host, unusable URL
    NoAnswer,        // connected, but no whole answer in time (silent, cut off, redirected in circles)
};

struct HttpResponse {
    bool completed = false; // an answer (possibly cut at maxBodyBytes) arrived, its headers whole
    HttpFailure failure = HttpFailure::NoAnswer;
    long status = 0;        // HTTP status, 0 without an answer
    std::string body;       // as sent (its first maxBodyBytes), decoded by the caller
};

// POSTs `body` to `url` and returns what came back. Proxies are the ones the
// environment names (http_proxy, https_proxy, no_proxy); up to 5 redirects
// are followed, to http and https only. Never throws.
HttpResponse HttpExchange(const std::string& url, const std::string& body, const HttpOptions& options = {});

// The response body whatever its status (an error page included), or the
// empty text when no answer could be read. Never throws.
std::string HttpPost(const std::string& url, const std::string& body, const HttpOptions& options = {});

} // namespace zarvex::notify
