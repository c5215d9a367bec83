// The Windows build under Wine against the Linux build on the same input:
// zarvex-qr.exe writes the same PBM; the WinHTTP HttpExchange, against a
// server on this machine's loopback, sends the service the same request as
// libcurl, and its time-outs, 64 KiB cap and redirects hold. Run by
// wine_run.sh, which prepares the Wine prefix.
#include "notify/http_post.h"
#include "notify/services.h"
#include "support/http_test_server.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

using namespace zarvex::notify;
using zarvex::test::HttpTestServer;
using zarvex::test::Slurp;

namespace {

struct WineResult : HttpResponse {
    long ms = -1;
};

// The Wine prefix's folder, made by wine_run.sh.
std::string WineWork() { return std::getenv("WINE_WORK") ? std::getenv("WINE_WORK") : "/nonexistent"; }

WineResult RunUnderWine(const std::string& url, long totalTimeoutMs = 0)
{
    const std::string result = WineWork() + "/result";
    std::filesystem::remove(result);
    // Wine's output goes to a file: its background processes would keep a pipe open.
    const std::string command = "wine '" ZARVEX_WIN32_CHECK "' exchange '" + url + "' 'Z:" + result + "'"
        + (totalTimeoutMs ? " " + std::to_string(totalTimeoutMs) : "") + " >>\"$WINE_WORK/wine.log\" 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    WineResult r;
    const std::string text = Slurp(result);
    int completed = 0, failure = -1;
    if (std::sscanf(text.c_str(), "%d %ld %ld %d", &completed, &r.status, &r.ms, &failure) == 4)
        r.body = text.substr(text.find('\n') + 1);
    r.completed = completed == 1;
    r.failure = static_cast<HttpFailure>(failure);
    return r;
}

// The value of a header, "(none)" when it is missing.
std::string Header(const std::string& request, const std::string& name)
{
    std::smatch value;
    const std::regex line("\r\n" + name + ":([^\r]*)", std::regex::icase);
    return std::regex_search(request, value, line) ? value[1].str() : "(none)";
}

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

std::string Host(const HttpTestServer& s) { return "127.0.0.1:" + std::to_string(s.Port()); }

} // namespace

// The exit status and, on success, the PBM, for messages, versions, levels,
// masks, encodings and refusals.
TEST(ZarvexQrUnderWine, WritesWhatTheLinuxBuildWrites)
{
    const char raw[] = "raw \0\1\xfe\xff bytes\r\n";
    std::ofstream(WineWork() + "/message.bin", std::ios::binary).write(raw, sizeof raw - 1);
    std::ofstream(WineWork() + "/too-long.bin") << std::string(9000, '\0');
    // Arguments for both tools, as the shell reads them.
    for (const std::string args : {"'HELLO WORLD'",
                                   "-v 25 -l Q -m 4 \"$(printf 'line %d ' $(seq 1 60))\"",
                                   "-v 40 -l M -m 6 \"$(head -c 2000 /dev/zero | tr '\\0' a)\"",
                                   "-l M -m 3 '监控点提醒 mixed 123 ABC'",
                                   "--encoding gbk 监控点提醒",
                                   "--encoding shift-jis 監視点の警告",
                                   "-i \"$WINE_WORK/message.bin\" -l Q",
                                   "-lQ --symversion=12 --margin=1 --scale=3 -- '-a text with a dash'",
                                   "-m auto -v 40 \"$(printf 'line %d ' $(seq 1 200))\"",
                                   "-v 1 -l H 'seventeen letters'", // does not fit: exit status 1
                                   "-i \"$WINE_WORK/too-long.bin\"",  // over 8 KiB: exit status 1
                                   "-l X 'bad level'"}) {           // a usage error: exit status 2
        const auto run = [&](const std::string& tool, const std::string& pbm) {
            return std::system((tool + " -t pbm -o \"$WINE_WORK/" + pbm + "\" " + args
                                + " >>\"$WINE_WORK/wine.log\" 2>&1").c_str());
        };
        const int onLinux = run(ZARVEX_QR_LINUX, "linux.pbm");
        const int underWine = run("wine " ZARVEX_QR_WINDOWS, "wine.pbm");
        EXPECT_EQ(underWine, onLinux) << args;
        if (onLinux == 0)
            EXPECT_TRUE(Slurp(WineWork() + "/wine.pbm") == Slurp(WineWork() + "/linux.pbm")) << "PBM of " << args;
    }
}

// An error page is the answer too, and a huge one is cut at 64 KiB.
TEST(WinHttpUnderWine, TheServiceSeesTheSameRequestAsFromTheLinuxBuildAndAHugeAnswerIsCut)
{
    HttpTestServer server;
    server.Set(HttpTestServer::Behaviour::Answer, 500, std::string(10 * 1024 * 1024, 'x'));
    const std::string url = NotificationUrl(Host(server), "a+b&c d#e\r\n\xE5\xBC\xA0@163.com");
    EXPECT_TRUE(HttpExchange(url, "").completed);
    const WineResult windows = RunUnderWine(url);
    EXPECT_TRUE(windows.completed);
    EXPECT_EQ(windows.failure, HttpFailure::None);
    EXPECT_EQ(windows.status, 500);
    EXPECT_EQ(windows.body.size(), 64u * 1024u);
    EXPECT_EQ(windows.body.find_first_not_of('x'), std::string::npos);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string &l = requests[0], &w = requests[1];
    EXPECT_EQ(RequestLine(w), "POST /quorel401/mail.asp?usermail=a+b&c%20d%23e%0D%0A%E5%BC%A0@163.com HTTP/1.1");
    EXPECT_EQ(RequestLine(l), RequestLine(w));
    for (const char* name : {"host", "accept", "content-type", "content-length", "transfer-encoding", "expect"})
        EXPECT_EQ(Header(w, name), Header(l, name)) << name << "\nLinux:\n" << l << "\nWindows:\n" << w;
    EXPECT_EQ(w.substr(w.find("\r\n\r\n") + 4), "") << "no body";
}

TEST(WinHttpUnderWine, ASilentServerTimesOutACutAnswerIsNoneAndAClosedPortFailsAtOnce)
{
    HttpTestServer silent, cut;
    silent.Set(HttpTestServer::Behaviour::NeverAnswer);
    cut.Set(HttpTestServer::Behaviour::Raw, 0, "HTTP/1.1 200 OK\r\nContent-Le"); // ends inside its headers
    const WineResult late = RunUnderWine("http://" + Host(silent) + "/quorel401/vers.asp", 1500);
    const WineResult partial = RunUnderWine("http://" + Host(cut) + "/quorel401/vers.asp");
    const WineResult closed = RunUnderWine("http://127.0.0.1:" + std::to_string(zarvex::test::FreePort()) + "/");
    for (const WineResult& r : {late, partial, closed}) {
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(r.body, "");
    }
    EXPECT_EQ(late.failure, HttpFailure::NoAnswer);
    EXPECT_EQ(partial.failure, HttpFailure::NoAnswer);
    EXPECT_EQ(closed.failure, HttpFailure::CouldNotConnect) << "refused is told from silent";
    EXPECT_GE(late.ms, 1400);
    EXPECT_LT(late.ms, 3000);
    EXPECT_LT(closed.ms, 1000);
    EXPECT_EQ(silent.Requests().size(), 1u);
}

TEST(WinHttpUnderWine, RedirectsAreFollowedFiveTimesAtMost)
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
    EXPECT_EQ(RequestLine(target.Requests()[0]), "GET /quorel401/vers.asp HTTP/1.1") << "a POST answered by 302";

    loop.Set(HttpTestServer::Behaviour::Raw, 0, redirect(307, "/again"));
    EXPECT_FALSE(RunUnderWine("http://" + Host(loop) + "/").completed);
    EXPECT_EQ(loop.Requests().size(), 6u) << "the request and 5 redirects";
    EXPECT_EQ(RequestLine(loop.Requests().back()), "POST /again HTTP/1.1") << "307 keeps the method";
}
