#include "notify/http_post.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string_view>

namespace zarvex::notify {

namespace {

struct Sink {
    std::string* body;
    size_t limit;
    bool cut = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    const size_t room = sink->limit - std::min(sink->limit, sink->body->size());
    sink->body->append(data, std::min(bytes, room));
    if (bytes > room) {
        // Enough read: ending the transfer here spares downloading the rest.
        sink->cut = true;
        return 0;
    }
    return bytes;
}

// Follows where the header blocks begin and end: a connection that closes
// inside the headers leaves libcurl with a status line and CURLE_OK, which
// must not pass for an answer.
size_t Header(char* data, size_t size, size_t count, void* user)
{
    auto* ended = static_cast<bool*>(user);
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/"))
        *ended = false;
    else if (line == "\r\n" || line == "\n")
        *ended = true;
    return size * count;
}

void InitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

HttpResponse HttpExchange(const std::string& url, const std::string& body, const HttpOptions& options)
{
    HttpResponse response;
    try {
        InitOnce();
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
        if (!curl)
            return response;
        std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, curl_slist_free_all);
        curl_slist* list = curl_slist_append(nullptr, (std::string("Content-Type: ") + kContentType).c_str());
        list = curl_slist_append(list, "Expect:"); // no 100-continue round trip
        headers.reset(list);

        Sink sink{&response.body, options.maxBodyBytes};
        bool headersEnded = false;
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Header);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &headersEnded);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L); // timeouts without SIGALRM
        // No proxy option is set: libcurl then takes http_proxy, https_proxy
        // and no_proxy from the environment, as the user configured them.
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        // A moved service is followed, a few hops and only to http or https.
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");

        const CURLcode result = curl_easy_perform(c);
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        response.status = status;
        response.completed = (result == CURLE_OK || (result == CURLE_WRITE_ERROR && sink.cut)) && headersEnded;
        if (!response.completed) {
            response.body.clear();
            const bool unreachable = result == CURLE_COULDNT_CONNECT || result == CURLE_COULDNT_RESOLVE_HOST
                || result == CURLE_COULDNT_RESOLVE_PROXY || result == CURLE_URL_MALFORMAT
                || result == CURLE_UNSUPPORTED_PROTOCOL;
            response.failure = unreachable ? HttpFailure::CouldNotConnect : HttpFailure::NoAnswer;
        } else {
            response.failure = HttpFailure::None;
        }
    } catch (...) {
        response = {};
    }
    return response;
}

std::string HttpPost(const std::string& url, const std::string& body, const HttpOptions& options)
{
    return HttpExchange(url, body, options).body;
}

} // namespace zarvex::notify
