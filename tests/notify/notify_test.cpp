// The service's client: the HTTP exchange against test servers on this
// machine, then the update check and the notification retries over a fake
// runner that does each step when the test says (no real second waited for).
#include "notify/http_post.h"
#include "notify/service_requests.h"
#include "notify/services.h"
#include "support/http_test_server.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

using namespace zarvex::notify;
using zarvex::test::HttpTestServer;

namespace {

std::string FirstLine(const std::string& request)
{
    return request.substr(0, request.find("\r\n"));
}

struct FakeRunner : BackgroundRunner {
    std::vector<std::function<Delivery()>> work;
    std::vector<int> waits;    // the delays asked for
    std::function<void()> due; // what the last delay holds back
    void Run(std::function<Delivery()> w) override { work.push_back(std::move(w)); }
    void After(int ms, std::function<void()> then) override
    {
        waits.push_back(ms);
        due = std::move(then);
    }
    // Does the queued work, then delivers its outcomes.
    void Finish()
    {
        for (auto& w : std::exchange(work, {}))
            w()();
    }
};

HttpResponse Answer(long status, std::string body = {})
{
    return {true, HttpFailure::None, status, std::move(body)};
}

} // namespace

// Server b is a plain service: the fixed header and the address as typed
// (only the unsafe characters encoded) on it first. Then server a answers each
// row's raw response, or never when it is empty; a redirect may lead to b.
// Proxied rows name a as http_proxy, with a no_proxy of the user's own that
// lists no loopback host.
TEST(HttpPost, TheRequestThenAnswersFailuresProxiesAndRedirects)
{
    HttpTestServer a, b;
    b.Set(HttpTestServer::Behaviour::Answer, 200, "4.0.2");
    const std::string host = "127.0.0.1:" + std::to_string(b.Port());
    EXPECT_EQ(HttpPost(UpdateUrl(host), ""), "4.0.2");
    const std::string sent = b.Requests().at(0);
    EXPECT_EQ(FirstLine(sent), "POST /quorel401/vers.asp HTTP/1.1");
    EXPECT_NE(sent.find("\r\nContent-Type: application/x-www-form-urlencoded; charset=utf-8\r\n"), std::string::npos);
    EXPECT_NE(sent.find("\r\nContent-Length: 0\r\n"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("Expect:"), std::string::npos);
    EXPECT_EQ(sent.substr(sent.find("\r\n\r\n") + 4), "") << "no body";
    HttpPost(NotificationUrl(host, "a+b&c d#e%?/\r\n\x7f\xE5\xBC\xA0@163.com"), "");
    EXPECT_EQ(FirstLine(b.Requests().at(1)),
              "POST /quorel401/mail.asp?usermail=a+b&c%20d%23e%?/%0D%0A%7F%E5%BC%A0@163.com HTTP/1.1");
    EXPECT_EQ(ServiceHost("/nonexistent/config.ini"), "127.0.0.1:8080") << "the host without a configuration";

    const std::string at = "http://127.0.0.1:" + std::to_string(a.Port());
    auto moved = [](const std::string& to) {
        return "HTTP/1.1 301 Moved\r\nLocation: " + to + "\r\nContent-Length: 0\r\n\r\n";
    };
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n4.0.3", huge(10 << 20, 'x');
    struct Case {
        const char* what;
        std::string answer;    // a's raw response; empty: none ever
        bool viaProxy;         // http_proxy names a
        std::string url;
        long status;           // 0: no complete answer
        std::string body;
        std::string firstLine; // of the first request a received
        size_t requestsToA;
        HttpFailure failure;
    };
    const Case cases[] = {
        {"an error page is text", "HTTP/1.1 500 X\r\nContent-Length: 27\r\n\r\n<html>Internal error</html>", false,
         at + "/x", 500, "<html>Internal error</html>", "POST /x HTTP/1.1", 1, HttpFailure::None},
        {"a huge answer is cut at 64 KiB", "HTTP/1.1 200 OK\r\nContent-Length: 10485760\r\n\r\n" + huge, false,
         at + "/big", 200, std::string(64 << 10, 'x'), "POST /big HTTP/1.1", 1, HttpFailure::None},
        {"through the proxy", ok, true, "http://service.zarvex.test/quorel401/vers.asp", 200, "4.0.3",
         "POST http://service.zarvex.test/quorel401/vers.asp HTTP/1.1", 1, HttpFailure::None},
        {"loopback never through a proxy", ok, true, at + "/quorel401/vers.asp", 200, "4.0.3",
         "POST /quorel401/vers.asp HTTP/1.1", 1, HttpFailure::None},
        {"redirect followed", moved("http://127.0.0.1:" + std::to_string(b.Port()) + "/v"), false, at + "/r", 200,
         "4.0.2", "POST /r HTTP/1.1", 1, HttpFailure::None},
        {"five redirects at most", moved(at + "/again"), false, at + "/first", 0, "", "POST /first HTTP/1.1",
         6, HttpFailure::NoAnswer},
        {"http and https only", moved("ftp" + at.substr(4) + "/x"), false, at + "/x", 0, "", "POST /x HTTP/1.1", 1,
         HttpFailure::CouldNotConnect},
        {"cut inside the headers", "HTTP/1.1 200 OK\r\nContent-Type: text/pl", false, at + "/x", 0, "",
         "POST /x HTTP/1.1", 1, HttpFailure::NoAnswer},
        {"a silent server", "", false, at + "/x", 0, "", "POST /x HTTP/1.1", 1, HttpFailure::NoAnswer},
        {"a port nobody listens on", ok, false, "http://127.0.0.1:" + std::to_string(zarvex::test::FreePort()), 0,
         "", "", 0, HttpFailure::CouldNotConnect},
        {"a malformed URL is no request", ok, false, at + "/a b", 0, "", "", 0, HttpFailure::CouldNotConnect},
        {"nor is none", ok, false, "", 0, "", "", 0, HttpFailure::CouldNotConnect},
    };
    const std::string noProxy = std::getenv("no_proxy") ? std::getenv("no_proxy") : "";
    EXPECT_EQ(std::pair(HttpOptions{}.connectTimeoutMs, HttpOptions{}.totalTimeoutMs), std::pair(5000L, 15000L))
        << "by default too, a silent service never holds a request for good";
    const HttpOptions quick{.totalTimeoutMs = 800};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        a.Set(c.answer.empty() ? HttpTestServer::Behaviour::NeverAnswer : HttpTestServer::Behaviour::Raw, 0, c.answer);
        const size_t before = a.Requests().size();
        if (c.viaProxy) {
            ::setenv("http_proxy", at.c_str(), 1);
            ::setenv("no_proxy", "intranet.zarvex.test", 1);
        }
        const auto start = std::chrono::steady_clock::now();
        const HttpResponse r = HttpExchange(c.url, "", quick);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "the time limit holds";
        ::unsetenv("http_proxy");
        ::setenv("no_proxy", noProxy.c_str(), 1);
        EXPECT_EQ(r.completed ? r.status : 0, c.status);
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.failure, c.failure);
        const auto requests = a.Requests();
        EXPECT_EQ(requests.size() - before, c.requestsToA);
        if (requests.size() > before)
            EXPECT_EQ(FirstLine(requests[before]), c.firstLine);
    }
    EXPECT_EQ(b.Requests().size(), 3u) << "the two above and the redirected one";
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
    for (const auto& c : cases)
        EXPECT_EQ(UpdateMessage({true, HttpFailure::None, c.status, c.body}).value_or(""), c.message) << c.body;
    EXPECT_FALSE(UpdateMessage(HttpResponse{})) << "unreachable";
}

TEST(NotificationSender, RetriesAtTheDelaysThenShowsOneLine)
{
    const HttpResponse refused{false, HttpFailure::CouldNotConnect, 0, ""}, silent{false, HttpFailure::NoAnswer, 0, ""},
        error = Answer(500, "<html>Traceback: secret</html>");
    struct Case {
        std::vector<HttpResponse> answers;
        std::string line; // shown at the end; empty: none
    };
    const Case cases[] = {
        {{refused, refused, refused, refused}, "提醒邮件未能发出：连不上提醒服务"},
        {{silent, silent, silent, silent}, "提醒邮件未能发出：服务无响应"},
        {{error, error, silent, error}, "提醒邮件未能发出：服务出错（500）"},
        {{silent, silent, silent, Answer(429, "rate")}, "提醒邮件未能发出：服务拒绝了请求（429）"},
        {{Answer(404), silent, Answer(200, "OK")}, ""},
        {{Answer(202)}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeRunner runner;
        size_t asked = 0;
        std::vector<std::string> lines;
        NotificationSender sender(
            runner, [&](const std::string& url) {
                EXPECT_EQ(url, "http://h/mail");
                return c.answers.at(asked++);
            },
            [&](const std::string& line) { lines.push_back(line); });
        sender.Send(7, "http://h/mail");
        sender.Send(7, "http://h/mail"); // the same point again while under way
        EXPECT_EQ(runner.work.size(), 1u);
        EXPECT_EQ(asked, 0u) << "nothing is asked on the window thread";
        while (!runner.work.empty()) {
            runner.Finish();
            if (runner.due) {
                EXPECT_TRUE(lines.empty()) << "no line while retries remain";
                std::exchange(runner.due, nullptr)();
            }
        }
        EXPECT_EQ(asked, c.answers.size());
        const std::vector<int> delays(kRetryDelaysMs.begin(), kRetryDelaysMs.begin() + (asked - 1));
        EXPECT_EQ(runner.waits, delays);
        EXPECT_EQ(lines, c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
    }
}

TEST(UpdateCheck, OneAtATimeAndTheMessageWhenTheAnswerComes)
{
    FakeRunner runner;
    UpdateCheck check(runner, [](const std::string&) { return Answer(200, "4.0.2"); });
    std::vector<std::string> shown;
    auto show = [&](const std::string& m) { shown.push_back(m); };
    check.Start("http://h/vers", show);
    check.Start("http://h/vers", show);
    EXPECT_EQ(runner.work.size(), 1u) << "a second check waits for the first";
    EXPECT_TRUE(shown.empty());
    runner.Finish();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("4.0.2"), std::string::npos);
    check.Start("http://h/vers", show);
    EXPECT_EQ(runner.work.size(), 1u) << "the next may start once the first is done";
}
