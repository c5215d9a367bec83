#include "notify/http_post.h"
#include "notify/services.h"
#include "support/http_test_server.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

using namespace zarvex::notify;
using zarvex::test::HttpTestServer;

namespace {

std::string Url(const HttpTestServer& s, const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(s.Port()) + path;
}

} // namespace

TEST(HttpPost, SendsTheFixedHeaderAndAnEmptyBody)
{
    HttpTestServer server;
    server.Set(HttpTestServer::Behaviour::Answer, 200, "4.0.2");
    EXPECT_EQ(HttpPost(Url(server, "/quorel401/vers.asp"), ""), "4.0.2");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& r = requests[0];
    EXPECT_EQ(r.substr(0, r.find("\r\n")), "POST /quorel401/vers.asp HTTP/1.1");
    EXPECT_NE(r.find("\r\nContent-Type: application/x-www-form-urlencoded; charset=utf-8\r\n"), std::string::npos) << r;
    EXPECT_NE(r.find("\r\nContent-Length: 0\r\n"), std::string::npos) << r;
    EXPECT_EQ(r.find("Expect:"), std::string::npos);
    EXPECT_EQ(r.substr(r.find("\r\n\r\n") + 4), "") << "no body";

    // The address travels as typed, with only the unsafe characters encoded.
    HttpPost(NotificationUrl("127.0.0.1:" + std::to_string(server.Port()), "a+b&c d#e\r\n\xE5\xBC\xA0@163.com"), "");
    const std::string mail = server.Requests().at(1);
    EXPECT_EQ(mail.substr(0, mail.find("\r\n")),
              "POST /quorel401/mail.asp?usermail=a+b&c%20d%23e%0D%0A%E5%BC%A0@163.com HTTP/1.1");
}

TEST(HttpPost, AHugeAnswerIsCutAt64KiB)
{
    HttpTestServer server;
    server.Set(HttpTestServer::Behaviour::Answer, 200, std::string(10 * 1024 * 1024, 'x'));
    const auto start = std::chrono::steady_clock::now();
    const HttpResponse r = HttpExchange(Url(server, "/big"), "");
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.body.size(), 64u * 1024u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(UpdateMessage(r)) << "longer than 64 characters";
}

TEST(HttpPost, SilentServerAndRefusedPortGiveTheEmptyText)
{
    HttpTestServer server;
    server.Set(HttpTestServer::Behaviour::NeverAnswer);
    HttpOptions quick;
    quick.totalTimeoutMs = 800; // the defaults (5 s connect, 15 s in all) are checked below
    const auto start = std::chrono::steady_clock::now();
    const HttpResponse r = HttpExchange(Url(server, "/quorel401/vers.asp"), "", quick);
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.failure, HttpFailure::NoAnswer);
    EXPECT_EQ(r.body, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(server.Requests().size(), 1u);

    // A port nobody listens on: refused at once.
    const int port = zarvex::test::FreePort();
    const HttpResponse refused = HttpExchange("http://127.0.0.1:" + std::to_string(port) + "/quorel401/vers.asp", "");
    EXPECT_EQ(refused.body, "");
    EXPECT_EQ(refused.failure, HttpFailure::CouldNotConnect);
    // Malformed URLs are no request at all, and no exception either.
    EXPECT_EQ(HttpPost("http://127.0.0.1:1/a b", ""), "");
    EXPECT_EQ(HttpPost("", ""), "");
    const HttpOptions defaults;
    EXPECT_EQ(std::tuple(defaults.connectTimeoutMs, defaults.totalTimeoutMs), std::tuple(5000, 15000));
}

TEST(HttpPost, ErrorPagesProxiesRedirectsAndCutHeaders)
{
    // Server a answers as each row says; b is a plain service that a
    // redirect may lead to. Proxied rows name a as http_proxy, with a
    // no_proxy of the user's own that lists no loopback host.
    HttpTestServer a, b;
    b.Set(HttpTestServer::Behaviour::Answer, 200, "4.0.2");
    const std::string at = "http://127.0.0.1:" + std::to_string(a.Port());
    const std::string toB = "HTTP/1.1 302 Found\r\nLocation: " + Url(b, "/quorel401/vers.asp")
        + "\r\nContent-Length: 0\r\n\r\n";
    auto moved = [](const std::string& to) {
        return "HTTP/1.1 301 Moved\r\nLocation: " + to + "\r\nContent-Length: 0\r\n\r\n";
    };
    struct Case {
        const char* what;
        std::string answer;   // a's raw response
        bool viaProxy;        // http_proxy names a
        std::string url;
        long status;          // 0: no complete answer
        std::string body;
        std::string firstLine; // of the first request a received
        size_t requestsToA;
        HttpFailure failure;
    };
    const Case cases[] = {
        {"an error page is text", "HTTP/1.1 500 X\r\nContent-Length: 27\r\n\r\n<html>Internal error</html>", false,
         at + "/x", 500, "<html>Internal error</html>", "POST /x HTTP/1.1", 1, HttpFailure::None},
        {"through the proxy", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n4.0.3", true,
         "http://service.zarvex.test/quorel401/vers.asp", 200, "4.0.3",
         "POST http://service.zarvex.test/quorel401/vers.asp HTTP/1.1", 1, HttpFailure::None},
        {"loopback never through a proxy", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n4.0.3", true,
         at + "/quorel401/vers.asp", 200, "4.0.3", "POST /quorel401/vers.asp HTTP/1.1", 1, HttpFailure::None},
        {"redirect followed", toB, false, at + "/quorel401/vers.asp", 200, "4.0.2",
         "POST /quorel401/vers.asp HTTP/1.1", 1, HttpFailure::None},
        {"five redirects at most", moved(at + "/again"), false, at + "/first", 0, "", "POST /first HTTP/1.1",
         6, HttpFailure::NoAnswer},
        {"http and https only", moved("ftp://127.0.0.1:" + std::to_string(a.Port()) + "/x"), false, at + "/x", 0,
         "", "POST /x HTTP/1.1", 1, HttpFailure::CouldNotConnect},
        {"cut inside the headers", "HTTP/1.1 200 OK\r\nContent-Type: text/pl", false, at + "/x", 0, "",
         "POST /x HTTP/1.1", 1, HttpFailure::NoAnswer},
    };
    const char* suiteNoProxy = std::getenv("no_proxy");
    const std::string noProxy = suiteNoProxy ? suiteNoProxy : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        a.Set(HttpTestServer::Behaviour::Raw, 0, c.answer);
        const size_t before = a.Requests().size();
        if (c.viaProxy) {
            ::setenv("http_proxy", at.c_str(), 1);
            ::setenv("no_proxy", "intranet.zarvex.test", 1);
        }
        const HttpResponse r = HttpExchange(c.url, "");
        ::unsetenv("http_proxy");
        ::setenv("no_proxy", noProxy.c_str(), 1);
        EXPECT_EQ(r.completed ? r.status : 0, c.status);
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.failure, c.failure);
        const auto requests = a.Requests();
        EXPECT_EQ(requests.size() - before, c.requestsToA);
        if (requests.size() > before)
            EXPECT_EQ(requests[before].substr(0, requests[before].find("\r\n")), c.firstLine);
    }
    EXPECT_EQ(b.Requests().size(), 1u);
}

TEST(UpdateCheck, MessageOnlyForANewerVersionText)
{
    const std::string newer = "你使用的版本为4.0.1\r\n软件最新版本为";
    const struct {
        long status;
        std::string body, message; // empty: no message
    } cases[] = {
        {200, "4.0.2", newer + "4.0.2,为了更好的体验，请下载最新版本！"},
        {200, " 4.1.0\r\n", newer + "4.1.0,为了更好的体验，请下载最新版本！"}, // the trimmed text is shown
        {200, "4.0.1", ""}, {200, "4.0.1\n", ""}, {200, " \r\n", ""}, {404, "4.0.2", ""}, {301, "4.0.2", ""},
        {200, std::string(64, '9'), newer + std::string(64, '9') + ",为了更好的体验，请下载最新版本！"},
        {200, std::string(65, '9'), ""}, {200, "版本五点零", newer + "版本五点零,为了更好的体验，请下载最新版本！"},
    };
    for (const auto& c : cases) {
        HttpResponse r;
        r.completed = true;
        r.status = c.status;
        r.body = c.body;
        EXPECT_EQ(UpdateMessage(r).value_or(""), c.message) << c.status << " " << c.body;
    }
    EXPECT_FALSE(UpdateMessage(HttpResponse{})) << "unreachable";
}

TEST(ServiceUrls, HostFromTheConfigurationAndTheAddressAsTyped)
{
    EXPECT_EQ(UpdateUrl("127.0.0.1:8080"), "http://127.0.0.1:8080/quorel401/vers.asp");
    EXPECT_EQ(NotificationUrl("mail.example.org", "me@163.com"),
              "http://mail.example.org/quorel401/mail.asp?usermail=me@163.com");
    EXPECT_EQ(NotificationUrl("h", ""), "http://h/quorel401/mail.asp?usermail=");
    EXPECT_EQ(EncodeAddress("x+y&z?w/v%u@163.com"), "x+y&z?w/v%u@163.com");
    EXPECT_EQ(EncodeAddress(std::string("a\tb\x7f", 4)), "a%09b%7F");
    EXPECT_EQ(ServiceHost("/nonexistent/config.ini"), "127.0.0.1:8080");
}
