#include "notify/http_post.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

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
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L); // timeouts without SIGALRM
        curl_easy_setopt(c, CURLOPT_PROXY, "");     // the services are reached directly
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");

        const CURLcode result = curl_easy_perform(c);
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        response.status = status;
        response.completed = result == CURLE_OK || (result == CURLE_WRITE_ERROR && sink.cut);
        if (!response.completed)
            response.body.clear();
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
