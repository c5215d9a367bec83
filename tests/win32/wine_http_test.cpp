// The Windows build's HttpExchange (WinHTTP) under Wine against a server on
// this machine's loopback: the service sees the same request as from the
// Linux build (libcurl), and the time-outs, the 64 KiB cap and redirects hold.
// Run by wine_http_check.sh, which prepares the Wine prefix.
#include "notify/http_post.h"
#include "notify/services.h"
#include "support/http_test_server.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

using namespace zarvex::notify;
using zarvex::test::HttpTestServer;

namespace {

struct WineResult {
    bool completed = false;
    long status = -1;
    long ms = -1;
    int failure = -1; // HttpFailure
    std::string body;
};

WineResult RunUnderWine(const std::string& url, long totalTimeoutMs = 0)
{
    const std::string exe = std::getenv("ZARVEX_HTTP_CHECK_EXE"), work = std::getenv("ZARVEX_WINE_WORK");
    const std::string result = work + "/result";
    std::filesystem::remove(result);
    // Wine's output goes to a file: its background processes would keep a pipe open.
    const std::string command = "wine '" + exe + "' '" + url + "' 'Z:" + result + "'"
        + (totalTimeoutMs ? " " + std::to_string(totalTimeoutMs) : "") + " >>'" + work + "/wine.log' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    WineResult r;
    const std::string text = zarvex::test::Slurp(result);
    const size_t eol = text.find('\n');
    if (eol == std::string::npos)
        return r;
    int completed = 0;
    std::sscanf(text.c_str(), "%d %ld %ld %d", &completed, &r.status, &r.ms, &r.failure);
    r.completed = completed == 1;
    r.body = text.substr(eol + 1);
    return r;
}

// Header names in lower case to their values.
std::map<std::string, std::string> Headers(const std::string& request)
{
    std::map<std::string, std::string> headers;
    size_t pos = request.find("\r\n") + 2;
    while (pos < request.size()) {
        const size_t end = request.find("\r\n", pos);
        if (end == std::string::npos || end == pos)
            break;
        const std::string line = request.substr(pos, end - pos);
        std::string name = line.substr(0, line.find(':'));
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        headers[name] = line.substr(std::min(line.size(), line.find(':') + 2));
        pos = end + 2;
    }
    return headers;
}

class WinHttpUnderWine : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("ZARVEX_HTTP_CHECK_EXE") || !std::getenv("ZARVEX_WINE_WORK"))
            GTEST_SKIP() << "run by wine_http_check.sh";
    }
    static std::string Host(const HttpTestServer& s) { return "127.0.0.1:" + std::to_string(s.Port()); }
};

} // namespace

TEST_F(WinHttpUnderWine, TheServiceSeesTheSameRequestAsFromTheLinuxBuild)
{
    HttpTestServer server;
    server.Set(HttpTestServer::Behaviour::Answer, 200, "4.0.2");
    const std::string url = NotificationUrl(Host(server), "a+b&c d#e\r\n\xE5\xBC\xA0@163.com");
    const HttpResponse curl = HttpExchange(url, "");
    const WineResult windows = RunUnderWine(url);
    EXPECT_TRUE(curl.completed && windows.completed);
    EXPECT_EQ(windows.failure, static_cast<int>(HttpFailure::None));
    EXPECT_EQ(windows.status, 200);
    EXPECT_EQ(windows.body, "4.0.2");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string &l = requests[0], &w = requests[1];
    EXPECT_EQ(w.substr(0, w.find("\r\n")), l.substr(0, l.find("\r\n")));
    EXPECT_EQ(w.substr(0, w.find("\r\n")),
              "POST /quorel401/mail.asp?usermail=a+b&c%20d%23e%0D%0A%E5%BC%A0@163.com HTTP/1.1");
    auto lh = Headers(l), wh = Headers(w);
    for (const char* name : {"host", "accept", "content-type", "content-length"})
        EXPECT_EQ(wh[name], lh[name]) << name << "\nLinux:\n" << l << "\nWindows:\n" << w;
    EXPECT_EQ(wh.count("transfer-encoding") + wh.count("expect"), 0u) << w;
    EXPECT_EQ(w.substr(w.find("\r\n\r\n") + 4), "") << "no body";
    std::printf("Linux build's request:\n%s\nWindows build's request:\n%s\n", l.c_str(), w.c_str());
}

TEST_F(WinHttpUnderWine, AnErrorPageIsTheAnswerAndAHugeOneIsCutAt64KiB)
{
    HttpTestServer server;
    server.Set(HttpTestServer::Behaviour::Answer, 500, std::string(10 * 1024 * 1024, 'x'));
    const WineResult r = RunUnderWine("http://" + Host(server) + "/quorel401/vers.asp");
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.status, 500);
    EXPECT_EQ(r.body.size(), 64u * 1024u);
    EXPECT_EQ(r.body.find_first_not_of('x'), std::string::npos);
}

TEST_F(WinHttpUnderWine, ASilentServerTimesOutAndAClosedPortFailsAtOnce)
{
    HttpTestServer server;
    server.Set(HttpTestServer::Behaviour::NeverAnswer);
    const WineResult silent = RunUnderWine("http://" + Host(server) + "/quorel401/vers.asp", 1500);
    EXPECT_FALSE(silent.completed);
    EXPECT_EQ(silent.failure, static_cast<int>(HttpFailure::NoAnswer));
    EXPECT_EQ(silent.body, "");
    EXPECT_GE(silent.ms, 1400);
    EXPECT_LT(silent.ms, 3000);
    EXPECT_EQ(server.Requests().size(), 1u);

    const WineResult closed = RunUnderWine("http://127.0.0.1:" + std::to_string(zarvex::test::FreePort()) + "/");
    EXPECT_FALSE(closed.completed);
    EXPECT_EQ(closed.failure, static_cast<int>(HttpFailure::CouldNotConnect)) << "refused is told from silent";
    EXPECT_LT(closed.ms, 1000);
    std::printf("silent server: %ld ms (limit 1500 ms), closed port: %ld ms\n", silent.ms, closed.ms);
}

TEST_F(WinHttpUnderWine, RedirectsAreFollowedFiveTimesAtMost)
{
    auto redirect = [](int status, const std::string& location) {
        return "HTTP/1.1 " + std::to_string(status) + " X\r\nLocation: " + location
            + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    };
    HttpTestServer target, hop, loop;
    target.Set(HttpTestServer::Behaviour::Answer, 200, "4.0.2");
    hop.Set(HttpTestServer::Behaviour::Raw, 0, redirect(302, "http://" + Host(target) + "/quorel401/vers.asp"));
    const WineResult r = RunUnderWine("http://" + Host(hop) + "/quorel401/vers.asp");
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.body, "4.0.2");
    ASSERT_EQ(target.Requests().size(), 1u);
    const std::string moved = target.Requests()[0];
    EXPECT_EQ(moved.substr(0, moved.find("\r\n")), "GET /quorel401/vers.asp HTTP/1.1") << "a POST answered by 302";

    loop.Set(HttpTestServer::Behaviour::Raw, 0, redirect(307, "/again"));
    const WineResult endless = RunUnderWine("http://" + Host(loop) + "/");
    EXPECT_FALSE(endless.completed);
    EXPECT_EQ(loop.Requests().size(), 6u) << "the request and 5 redirects";
    EXPECT_EQ(loop.Requests().back().substr(0, 17), "POST /again HTTP/") << "307 keeps the method";
}

TEST_F(WinHttpUnderWine, AnAnswerCutInsideItsHeadersIsNoAnswer)
{
    HttpTestServer server;
    server.Set(HttpTestServer::Behaviour::Raw, 0, "HTTP/1.1 200 OK\r\nContent-Le");
    const WineResult r = RunUnderWine("http://" + Host(server) + "/quorel401/vers.asp");
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.failure, static_cast<int>(HttpFailure::NoAnswer));
    EXPECT_EQ(r.body, "");
}
