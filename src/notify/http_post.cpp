#include "notify/http_post.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
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

// The hosts that never go through a proxy: loopback ones, which a proxy
// would reach as its own machine (browsers never send them to one either),
// and then those the user lists in no_proxy. Setting the list replaces the
// environment's, so the user's is read here; "*" alone already means every
// host. libcurl matches the address range from 7.86 on.
std::string NoProxyHosts()
{
    const char* user = std::getenv("no_proxy");
    if (!user || !*user)
        user = std::getenv("NO_PROXY");
    const std::string_view listed = user ? user : "";
    if (listed == "*")
        return "*";
    std::string hosts = "localhost,127.0.0.0/8,::1";
    if (!listed.empty())
        hosts.append(",").append(listed);
    return hosts;
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
        // The proxy itself is left to libcurl, which takes http_proxy and
        // https_proxy from the environment, as the user configured them.
        const std::string noProxy = NoProxyHosts();
        curl_easy_setopt(c, CURLOPT_NOPROXY, noProxy.c_str());
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
