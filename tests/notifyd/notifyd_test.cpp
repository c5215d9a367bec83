// zarvex-notifyd as a running service: requests through the program's own
// HTTP client, mail through a real SMTP server (aiosmtpd) on 127.0.0.1.
#include "notify/http_post.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

using namespace zarvex;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

using test::FreePort;
using test::Slurp;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

size_t Files(const fs::path& dir)
{
    std::error_code ec;
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); ++it)
        n += it->is_regular_file();
    return n;
}

class NotifydTest : public ::testing::Test {
protected:
    void StartSmtp()
    {
        smtp_.Start({"/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + std::to_string(smtpPort_), "-c",
                     "aiosmtpd.handlers.Mailbox", (dir_ / "maildir").string()},
                    (dir_ / "smtp.log").string());
        ASSERT_TRUE(WaitFor([&] { return Connectable(smtpPort_); }, 10s)) << Slurp(dir_ / "smtp.log");
    }
    void StartService(const std::string& extra = "")
    {
        std::ofstream(dir_ / "notifyd.ini") << "[notifyd]\nlisten=127.0.0.1:" << port_
                                            << "\nretry_initial_seconds=1\nretry_max_seconds=2\n" << extra;
        service_.Start({ZARVEX_NOTIFYD, "--config", (dir_ / "notifyd.ini").string()}, (dir_ / "notifyd.log").string());
        ASSERT_TRUE(WaitFor([&] { return Connectable(port_); }, 10s)) << Slurp(dir_ / "notifyd.log");
    }
    std::string Relay() const { return "relay=smtp://127.0.0.1:" + std::to_string(smtpPort_) + "\n"; }
    static bool Connectable(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        return ok;
    }
    notify::HttpResponse Post(const std::string& pathAndQuery, const std::string& body = "")
    {
        return notify::HttpExchange("http://127.0.0.1:" + std::to_string(port_) + pathAndQuery, body);
    }
    notify::HttpResponse Mail(const std::string& address)
    {
        return Post("/quorel401/mail.asp?usermail=" + address);
    }
    fs::path Inbox() const { return dir_ / "maildir" / "new"; }

    test::TempFolder temp_{"notifyd"};
    const fs::path dir_ = temp_.Path();
    const int port_ = FreePort();
    const int smtpPort_ = FreePort();
    test::ChildProcess smtp_, service_;
};

} // namespace

TEST_F(NotifydTest, AMailRequestArrivesAsOneEmail)
{
    StartSmtp();
    StartService(Relay());
    EXPECT_EQ(Post("/quorel401/vers.asp").body, "4.0.1");
    const auto r = Mail("a+b&c@163.com"); // as the program sends it: "+" and "&" as typed
    EXPECT_EQ(r.status, 200);
    ASSERT_TRUE(WaitFor([&] { return Files(Inbox()) == 1; }, 10s)) << Slurp(dir_ / "notifyd.log");
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(Files(Inbox()), 1u) << "delivered once";
    const std::string mail = Slurp(fs::directory_iterator(Inbox())->path());
    EXPECT_NE(mail.find("To: <a+b&c@163.com>"), std::string::npos) << mail;
    EXPECT_NE(mail.find("Subject: =?UTF-8?B?"), std::string::npos);
    EXPECT_EQ(Files(dir_ / "notifyd-spool"), 0u);
}

TEST_F(NotifydTest, RelayDownThenUpDeliversOnceAndKeepsMailsOverACrash)
{
    StartService(Relay()); // the relay is not there yet
    EXPECT_EQ(Mail("first@163.com").status, 200) << "accepted at once, delivered later";
    EXPECT_EQ(Mail("second@163.com").status, 200);
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(Files(dir_ / "notifyd-spool"), 2u) << "kept while the relay is down";

    // Killed outright with the mails still queued, then started again.
    ASSERT_TRUE(service_.Kill(SIGKILL));
    EXPECT_EQ(Files(dir_ / "notifyd-spool"), 2u);
    StartSmtp();
    StartService(Relay());
    ASSERT_TRUE(WaitFor([&] { return Files(Inbox()) == 2; }, 15s)) << Slurp(dir_ / "notifyd.log");
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(Files(Inbox()), 2u) << "neither lost nor doubled";
    EXPECT_EQ(Files(dir_ / "notifyd-spool"), 0u);
}

TEST_F(NotifydTest, WithoutARelayMailsGoToTheOutbox)
{
    StartService();
    ASSERT_EQ(Mail("me@163.com").status, 200);
    ASSERT_TRUE(WaitFor([&] { return Files(dir_ / "notifyd-outbox") == 1; }, 5s));
    const std::string mail = Slurp(fs::directory_iterator(dir_ / "notifyd-outbox")->path());
    EXPECT_EQ(mail.rfind("From: Zarvex <zarvex-notifyd@localhost>\r\nTo: <me@163.com>\r\n", 0), 0u) << mail;
    EXPECT_NE(mail.find("\r\nContent-Type: text/plain; charset=UTF-8\r\n"), std::string::npos);
    EXPECT_NE(mail.find("\r\n\r\n"), std::string::npos) << "headers, blank line, body";
}

TEST_F(NotifydTest, RefusesWhatItMustNotSend)
{
    StartService("rate_per_hour=2\nallowed_addresses=boss@example.org\n");
    EXPECT_EQ(Mail("someone@gmail.com").status, 403) << "not an open relay";
    EXPECT_EQ(Mail("boss@example.org").status, 200) << "on the explicit list";
    EXPECT_EQ(Mail("no-at-sign").status, 400);
    EXPECT_EQ(Mail("two@@163.com").status, 400);
    EXPECT_EQ(Mail("bad%zz@163.com").status, 400);
    EXPECT_EQ(Mail("").status, 400);
    EXPECT_EQ(Post("/quorel401/mail.asp").status, 400);
    EXPECT_EQ(Post("/quorel401/other.asp").status, 404);
    EXPECT_EQ(Post("/quorel401/vers.asp", std::string(10000, 'x')).status, 413) << "oversized";
    EXPECT_EQ(Mail("limit@163.com").status, 200);
    EXPECT_EQ(Mail("LIMIT@163.com").status, 200);
    EXPECT_EQ(Mail("limit@163.com").status, 429) << "two an hour per address";
    EXPECT_EQ(Mail("other@163.com").status, 200) << "others are not affected";
    EXPECT_NE(Slurp(dir_ / "notifyd.log").find("refused"), std::string::npos) << "refusals are logged";

    // A client that sends half a request and waits is cut off.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port_));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string partial = "POST /quorel401/vers.asp HTTP/1.1\r\nHost: x\r\n";
    ::send(fd, partial.data(), partial.size(), 0);
    const auto start = std::chrono::steady_clock::now();
    char buffer[256];
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
    ::close(fd);
    EXPECT_EQ(Post("/quorel401/vers.asp").status, 200) << "and the service goes on";
}
