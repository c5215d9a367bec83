// HttpExchange on Windows, through WinHTTP, the platform's own HTTP client: the
// same request as the libcurl build (request line, Host, Accept, the fixed
// Content-Type, Content-Length and the body), the user's proxy settings, at
// most 5 redirects, the same time-outs and the same 64 KiB cap.
#include "notify/http_post.h"
#include "platform/win32/code_pages.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string_view>

namespace zarvex::notify {

using platform::win32::Narrow;
using platform::win32::Widen;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirects = 5;

class Handle {
public:
    explicit Handle(HINTERNET h = nullptr) : h_(h) {}
    ~Handle()
    {
        if (h_)
            WinHttpCloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_;
};

struct Target {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object; // path and query, as given
};

// Only http and https, and no byte that cannot stand in a request line
// (libcurl refuses the same). A fragment is never sent.
std::optional<Target> Parse(const std::string& url)
{
    std::string_view u(url);
    u = u.substr(0, u.find('#'));
    for (const unsigned char c : u)
        if (c <= 0x20 || c == 0x7F)
            return std::nullopt;
    std::wstring wide = Widen(u);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
    if (wide.empty() || !WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts))
        return std::nullopt;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return std::nullopt;
    Target t;
    t.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    t.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    t.port = parts.nPort;
    t.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    t.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (t.host.empty())
        return std::nullopt;
    if (t.object.empty())
        t.object = L"/";
    return t;
}

// A Location header against the URL it answered.
std::string Resolve(const Target& from, const std::string& location)
{
    auto startsWith = [&](std::string_view prefix) {
        return location.size() >= prefix.size()
            && std::equal(prefix.begin(), prefix.end(), location.begin(),
                          [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b); });
    };
    if (startsWith("http://") || startsWith("https://"))
        return location;
    const std::string scheme = from.secure ? "https:" : "http:";
    if (startsWith("//"))
        return scheme + location;
    const std::string origin = scheme + "//" + Narrow(from.host) + ":" + std::to_string(from.port);
    if (startsWith("/"))
        return origin + location;
    // Relative to the folder of the path.
    std::string path = Narrow(from.object);
    path = path.substr(0, path.find('?'));
    return origin + path.substr(0, path.rfind('/') + 1) + location;
}

// Loopback hosts (localhost, 127.0.0.0/8, ::1) are reached directly whatever
// the proxy settings, as browsers do: a proxy would reach them as its own
// machine. The system's automatic proxy may skip them by itself, but the
// user's bypass list covers them only when it lists them, and its "<local>"
// matches names without a dot: localhost, yet not 127.0.0.1.
bool IsLoopback(std::wstring host)
{
    for (wchar_t& c : host)
        c = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    if (host == L"localhost" || host == L"::1" || host == L"[::1]")
        return true;
    return host.starts_with(L"127.") && std::count(host.begin(), host.end(), L'.') == 3
        && host.find_first_not_of(L"0123456789.") == std::wstring::npos;
}

// The session, with the user's proxy settings: the system's automatic
// proxy (Windows 8.1 and later), else the proxy set for the current user.
Handle OpenSession()
{
    if (HINTERNET s = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0))
        return Handle(s);
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
    HINTERNET s = nullptr;
    if (WinHttpGetIEProxyConfigForCurrentUser(&user) && user.lpszProxy && *user.lpszProxy)
        s = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, user.lpszProxy,
                        user.lpszProxyBypass ? user.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS, 0);
    for (LPWSTR text : {user.lpszAutoConfigUrl, user.lpszProxy, user.lpszProxyBypass})
        if (text)
            GlobalFree(text);
    if (!s)
        s = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    return Handle(s);
}

HttpResponse CouldNotConnect()
{
    HttpResponse r;
    r.failure = HttpFailure::CouldNotConnect;
    return r;
}

int Remaining(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 0x7FFFFFFF));
}

// Every time-out is set: some WinHTTP implementations wait forever for an
// answer otherwise. Each step may take only what is left of the whole.
bool SetTimeouts(HINTERNET request, const HttpOptions& options, Clock::time_point deadline)
{
    const int left = Remaining(deadline);
    if (left <= 0)
        return false;
    const int connect = std::min(left, static_cast<int>(std::clamp<long>(options.connectTimeoutMs, 1, 0x7FFFFFFF)));
    DWORD receiveResponse = static_cast<DWORD>(left);
    return WinHttpSetTimeouts(request, connect, connect, left, left)
        && WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receiveResponse, sizeof receiveResponse);
}

std::string QueryText(HINTERNET request, DWORD what)
{
    DWORD bytes = 0;
    WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0)
        return {};
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (!WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX))
        return {};
    text.resize(bytes / sizeof(wchar_t));
    return Narrow(text);
}

} // namespace

HttpResponse HttpExchange(const std::string& url, const std::string& body, const HttpOptions& options)
{
    HttpResponse response;
    try {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(options.totalTimeoutMs);
        Handle session = OpenSession();
        if (!session)
            return response;
        const std::wstring header = Widen(std::string("Content-Type: ") + kContentType);
        std::string current = url;
        std::wstring method = L"POST";
        for (int hop = 0; hop <= kMaxRedirects; ++hop) {
            const std::optional<Target> target = Parse(current);
            if (!target)
                return CouldNotConnect();
            Handle connection(WinHttpConnect(session.get(), target->host.c_str(), target->port, 0));
            if (!connection)
                return CouldNotConnect();
            LPCWSTR accept[] = {L"*/*", nullptr};
            // The address is sent as given: it is already encoded.
            Handle request(WinHttpOpenRequest(connection.get(), method.c_str(), target->object.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, accept,
                                              WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY
                                                  | (target->secure ? WINHTTP_FLAG_SECURE : 0)));
            if (!request || !SetTimeouts(request.get(), options, deadline))
                return {};
            if (IsLoopback(target->host)) {
                WINHTTP_PROXY_INFO direct{WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr};
                WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY, &direct, sizeof direct);
            }
            // Redirects are followed here, so that every one counts against the same deadline.
            DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
            WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
            const bool post = method == L"POST";
            const DWORD length = post ? static_cast<DWORD>(body.size()) : 0;
            if (!WinHttpSendRequest(request.get(), header.c_str(), static_cast<DWORD>(-1),
                                    post && length ? const_cast<char*>(body.data()) : WINHTTP_NO_REQUEST_DATA, length,
                                    length, 0)) {
                // Refused or unknown host; a connection that timed out counts as no answer, as with libcurl.
                const DWORD error = GetLastError();
                const bool unreachable = error == ERROR_WINHTTP_CANNOT_CONNECT || error == ERROR_WINHTTP_NAME_NOT_RESOLVED
                    || error == ERROR_WINHTTP_INVALID_URL || error == ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
                return unreachable ? CouldNotConnect() : HttpResponse{};
            }
            // An answer cut inside its headers is no answer. Windows fails it
            // here; Wine takes what came as the headers, without the blank
            // line that ends whole ones.
            if (!WinHttpReceiveResponse(request.get(), nullptr)
                || !QueryText(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF).ends_with("\r\n\r\n"))
                return {};

            DWORD status = 0, size = sizeof status;
            WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
            const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
            const std::string location = redirect ? QueryText(request.get(), WINHTTP_QUERY_LOCATION) : std::string();
            if (!location.empty()) {
                if (hop == kMaxRedirects)
                    return {}; // too many
                current = Resolve(*target, location);
                // As browsers and libcurl do: 303, and 301/302 after a POST, go on with GET.
                if (status == 303 || ((status == 301 || status == 302) && post))
                    method = L"GET";
                continue;
            }

            response.status = static_cast<long>(status);
            char buffer[8192];
            while (response.body.size() < options.maxBodyBytes) {
                if (!SetTimeouts(request.get(), options, deadline))
                    return {};
                DWORD got = 0;
                const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, options.maxBodyBytes - response.body.size()));
                if (!WinHttpReadData(request.get(), buffer, want, &got))
                    return {};
                if (got == 0)
                    break; // the whole answer
                response.body.append(buffer, got);
            }
            // Enough read when the cap is reached: the rest is never fetched.
            response.completed = true;
            response.failure = HttpFailure::None;
            return response;
        }
    } catch (...) {
    }
    return {};
}

std::string HttpPost(const std::string& url, const std::string& body, const HttpOptions& options)
{
    return HttpExchange(url, body, options).body;
}

} // namespace zarvex::notify
