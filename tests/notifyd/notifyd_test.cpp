// zarvex-notifyd as a running service: requests through the program's own
// HTTP client or raw over a socket (what a hostile client sends), mail
// through a real SMTP server (aiosmtpd) on 127.0.0.1.
#include "notify/http_post.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>

using namespace zarvex;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

using test::Slurp;
using test::WaitFor;

// Reads until the service closes the connection; whether it did (rather
// than the read timing out).
bool ReadToEnd(int fd, std::string* got = nullptr)
{
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        if (got)
            got->append(buffer, static_cast<size_t>(n));
    return n == 0;
}

// Sends a raw request and reads the answer until the service closes: its
// status, or 0 when the connection ended without one.
int RawStatus(int port, const std::string& request, const char* from = "127.0.0.1", std::string* reply = nullptr)
{
    const int fd = test::Connect(port, from);
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string got;
    ReadToEnd(fd, &got);
    ::close(fd);
    if (reply)
        *reply = got;
    return got.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(got.c_str() + 9) : 0;
}

std::string MailRequest(const std::string& address)
{
    return "POST /quorel401/mail.asp?usermail=" + address + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
           "Content-Length: 0\r\n\r\n";
}

// Whole files: a ".part" one is a write still under way.
long Files(const fs::path& dir)
{
    std::error_code ec; // a folder not there yet holds none
    return std::count_if(fs::directory_iterator(dir, ec), {}, [](const fs::directory_entry& e) {
        return e.is_regular_file() && e.path().extension() != ".part";
    });
}

class NotifydTest : public ::testing::Test {
protected:
    void StartService(const std::string& extra = "")
    {
        std::ofstream(dir_ / "notifyd.ini") << "[notifyd]\nlisten=127.0.0.1:" << port_
                                            << "\nretry_initial_seconds=1\nretry_max_seconds=3\n" << extra;
        service_.Start({ZARVEX_NOTIFYD, "--config", (dir_ / "notifyd.ini").string()}, (dir_ / "notifyd.log").string());
        ASSERT_TRUE(WaitFor([&] { return test::Accepts(port_); }, 10s)) << Slurp(dir_ / "notifyd.log");
    }
    notify::HttpResponse Post(const std::string& pathAndQuery)
    {
        return notify::HttpExchange("http://127.0.0.1:" + std::to_string(port_) + pathAndQuery, "");
    }
    notify::HttpResponse Mail(const std::string& address) { return Post("/quorel401/mail.asp?usermail=" + address); }

    test::TempFolder temp_{"notifyd"};
    const fs::path dir_ = temp_.Path();
    const int port_ = test::FreePort();
    test::ChildProcess service_;
};

} // namespace

TEST_F(NotifydTest, RelayDownThenUpDeliversEachMailOnceAndKeepsThemOverACrash)
{
    const int smtpPort = test::FreePort();
    const std::string relay = "relay=smtp://127.0.0.1:" + std::to_string(smtpPort) + "\n";
    const fs::path inbox = dir_ / "maildir" / "new";
    StartService(relay); // the relay is not there yet
    EXPECT_EQ(Post("/quorel401/vers.asp").body, "4.0.1");
    EXPECT_EQ(Mail("a+b@163.com").status, 200) << "accepted at once, delivered later; \"+\" as typed";
    EXPECT_EQ(Mail("a+b@163.com").status, 200);
    std::this_thread::sleep_for(4000ms);
    EXPECT_EQ(Files(dir_ / "notifyd-spool"), 2) << "kept while the relay is down";
    // Tries after 0, 1 and 3 s: the wait doubles, but never beyond retry_max_seconds (3).
    const std::string log = Slurp(dir_ / "notifyd.log");
    EXPECT_NE(log.find("retry in 3 s"), std::string::npos) << log;
    EXPECT_EQ(log.find("retry in 4 s"), std::string::npos) << log;

    // Killed outright with the mails still queued, then started again.
    ASSERT_TRUE(service_.Kill(SIGKILL));
    test::ChildProcess smtp({"/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l",
                             "127.0.0.1:" + std::to_string(smtpPort), "-c", "aiosmtpd.handlers.Mailbox",
                             (dir_ / "maildir").string()}, dir_ / "smtp.log");
    ASSERT_TRUE(WaitFor([&] { return test::Accepts(smtpPort); }, 10s)) << Slurp(dir_ / "smtp.log");
    StartService(relay);
    ASSERT_TRUE(WaitFor([&] { return Files(inbox) == 2; }, 15s)) << Slurp(dir_ / "notifyd.log");
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(Files(inbox), 2) << "neither lost nor doubled";
    EXPECT_EQ(Files(dir_ / "notifyd-spool"), 0);
    const std::string mail = Slurp(fs::directory_iterator(inbox)->path());
    EXPECT_NE(mail.find("To: <a+b@163.com>"), std::string::npos) << mail;
}

// What the service refuses (and the little it takes): addresses a relay
// could read otherwise, requests that would hold it or its memory, mails over
// the hourly limits, and clients that would hold its connections.
TEST_F(NotifydTest, RefusalsLimitsAndSlowClients)
{
    StartService("allowed_domains=163.com,foo.org\nallowed_addresses=boss@example.org\nrate_per_hour=2\n"
                 "rate_per_client_per_hour=4\nrate_overall_per_hour=8\nrequest_seconds=2\n"
                 "max_connections_per_client=8\n");
    const std::string head = "POST /quorel401/vers.asp HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    std::string chunks;
    for (int i = 0; i < 16; ++i)
        chunks += "1000\r\n" + std::string(4096, 'x') + "\r\n";
    ASSERT_EQ(std::system(("head -c 3145728 /dev/zero | gzip >" + (dir_ / "gzip").string()).c_str()), 0);
    const std::string gzip = Slurp(dir_ / "gzip"); // 3 KiB that would inflate to 3 MiB
    std::string headers;
    for (int i = 0; i < 100000; ++i)
        headers += "X-" + std::to_string(i) + ": y\r\n";
    const char *a = "127.0.0.1", *b = "127.0.0.2", *c = "127.0.0.3", *d = "127.0.0.4";
    const struct {
        const char* what;
        std::string request;
        const char* from;
        int status; // 0: closed without an answer
    } cases[] = {
        {"on the explicit list", MailRequest("boss@example.org"), d, 200},
        {"domain in any case", MailRequest("Me.Too_1-2+x@163.COM"), d, 200},
        {"another path", "POST /quorel401/other.asp HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", d, 404},
        {"no length: empty body", head + "\r\n", d, 200},
        {"chunked over 4 KiB", head + "Transfer-Encoding: chunked\r\n\r\n" + chunks, d, 0},
        {"gzip is not inflated",
         head + "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(gzip.size()) + "\r\n\r\n" + gzip, d, 200},
        {"length over 4 KiB", head + "Content-Length: 5000\r\n\r\n" + std::string(5000, 'x'), d, 413},
        {"two lengths", head + "Content-Length: 0\r\nContent-Length: 5\r\n\r\nhello", d, 400},
        {"another transfer coding", head + "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n", d, 501},
        {"length and chunked", head + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", d, 400},
        {"100 000 headers", head + headers + "\r\n", d, 431},
        // Hourly: 2 mails a mailbox, 4 a client, 8 in all (2 of them above).
        {"a mailbox", MailRequest("box+a@163.com"), a, 200},
        {"its second", MailRequest("BOX+b@163.com"), a, 200},
        {"one mailbox, whatever its tag and case", MailRequest("Box+c@163.com"), a, 429},
        {"from any client", MailRequest("box@163.com"), b, 429},
        {"another mailbox", MailRequest("box@foo.org"), a, 200},
        {"the client's fourth", MailRequest("x@163.com"), a, 200},
        {"four from this client", MailRequest("y@163.com"), a, 429},
        {"the refusals above used no slot", MailRequest("y@163.com"), b, 200},
        {"the eighth", MailRequest("z@163.com"), c, 200},
        {"eight in all", MailRequest("w@163.com"), c, 429},
    };
    // Not an open relay; "%" and "!" are routing syntax.
    for (const char* to : {"someone@gmail.com", "a%2540evil.org@163.com", "evil.org!a@163.com", "a&b@163.com",
                           "no-at-sign", "two@@163.com", "bad%zz@163.com", "", "\x1b[2J\x07@163.com"})
        EXPECT_EQ(RawStatus(port_, MailRequest(to), d), 400) << to;
    for (const auto& row : cases) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RawStatus(port_, row.request, row.from), row.status) << row.what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << row.what << ": answered at once";
    }
    const std::string status = Slurp("/proc/" + std::to_string(service_.Pid()) + "/status");
    const size_t hwm = status.find("VmHWM:");
    ASSERT_NE(hwm, std::string::npos);
    EXPECT_LT(std::atol(status.c_str() + hwm + 6), 64 * 1024) << "kB at the peak";
    const std::string log = Slurp(dir_ / "notifyd.log");
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](unsigned char ch) { return ch < 0x20 && ch != '\n'; }), 0)
        << "no control characters reach the log";
    EXPECT_NE(log.find(" 127.0.0.4 /quorel401/vers.asp 413 "), std::string::npos) << "a line per request:\n" << log;
    std::string wrongMethod;
    EXPECT_EQ(RawStatus(port_, "GET /quorel401/vers.asp HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", a,
                        &wrongMethod), 405);
    EXPECT_NE(wrongMethod.find("\r\nAllow: POST\r\n"), std::string::npos) << "a 405 names the method to use";

    // Up to the cap from each of two addresses: slow ones that send a byte
    // now and then, which no per-read time-out ever ends, and idle ones.
    std::vector<int> held;
    for (const char* from : {a, c})
        for (int i = 0; i < 8; ++i)
            held.push_back(test::Connect(port_, from));
    std::atomic<bool> dribbling = true;
    std::thread slow([&] {
        const std::string header = "X: y\r\n";
        for (size_t t = 0; t < 8 && dribbling; ++t, std::this_thread::sleep_for(1s))
            for (size_t i = 0; i < 8; ++i)
                ::send(held[i], t ? &header[t % header.size()] : "POST / HTTP/1.1\r\n", t ? 1 : 17, MSG_NOSIGNAL);
    });
    const auto start = std::chrono::steady_clock::now();
    for (const char* from : {a, c}) {
        const int over = test::Connect(port_, from);
        EXPECT_TRUE(ReadToEnd(over)) << "one more from " << from << " is turned away";
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "at once, not when its time is over";
        ::close(over);
    }
    EXPECT_EQ(RawStatus(port_, head + "\r\n", b), 200) << "another client is served";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    // All of them are cut when the time for a whole request is over.
    for (const int fd : held) {
        EXPECT_TRUE(ReadToEnd(fd));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
        ::close(fd);
    }
    dribbling = false;
    slow.join();
}

// Unusable settings stop the start; at the start a bad spool entry is set
// aside and a ".part" file left by a crash goes; without a relay mails go to
// the outbox, read here as a mail reader sees them.
TEST_F(NotifydTest, UnusableSettingsTheSpoolAtStartAndOutboxMails)
{
    // A file; a folder the service may write into but not list (it would take
    // mails and never send them), where as root the service runs as a user
    // whom permissions bind; and settings out of their ranges.
    std::ofstream(dir_ / "taken") << "a file, not a folder";
    for (const char* folder : {"unlisted", "outbox"}) {
        fs::create_directories(dir_ / folder);
        if (::geteuid() == 0) // for the user the service runs as below
            ASSERT_EQ(::chown((dir_ / folder).c_str(), 65534, 65534), 0);
    }
    ::chmod((dir_ / "unlisted").c_str(), 0300);
    const std::string spoolAt = "listen=127.0.0.1:" + std::to_string(port_) + "\noutbox=outbox\nspool=";
    const std::pair<std::string, const char*> unusable[] = {
        {spoolAt + "taken", "spool folder"},
        {spoolAt + "unlisted", "spool folder"},
        {"listen=127.0.0.1", "\"listen\" must be host:port"},
        {"listen=127.0.0.1:65536", "\"listen\" has no valid port"},
        {"relay=http://127.0.0.1", "\"relay\" must start with smtp:// or smtps://"},
        {"rate_per_hour=-1", "\"rate_per_hour\" must be a whole number from 0 to 1000000"},
        {"retry_max_seconds=0", "\"retry_max_seconds\" must be a whole number from 1 to 86400"},
    };
    for (const auto& [setting, message] : unusable) {
        std::ofstream(dir_ / "notifyd.ini") << "[notifyd]\n" << setting << "\n";
        const std::string command = std::string("timeout 5 ")
                                    + (::geteuid() ? "" : "setpriv --reuid=65534 --regid=65534 --clear-groups ")
                                    + ZARVEX_NOTIFYD + " --config " + (dir_ / "notifyd.ini").string() + " 2>"
                                    + (dir_ / "start.log").string();
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << setting << ": " << status;
        EXPECT_NE(Slurp(dir_ / "start.log").find(message), std::string::npos) << Slurp(dir_ / "start.log");
    }

    const fs::path spool = dir_ / "notifyd-spool";
    fs::create_directories(spool);
    std::ofstream(spool / "1-bad.mail") << "me@163.com\nnot a time\n";
    std::ofstream(spool / "2-good.mail") << "me@163.com\n1700000000\n";
    std::ofstream(spool / "old.mail.part") << "me@163.com\n";
    std::ofstream(spool / "new.mail.part") << "me@163.com\n";
    fs::last_write_time(spool / "old.mail.part", fs::file_time_type::clock::now() - 2min);
    ::setenv("TZ", "UTC-8", 1); // local time 8 hours ahead: a zone mixed up shows
    StartService("max_connections=2\n"); // fewer than the service has threads: it still ends on SIGTERM
    ::unsetenv("TZ");
    ASSERT_TRUE(WaitFor([&] { return Files(dir_ / "notifyd-outbox") == 1; }, 5s)) << Slurp(dir_ / "notifyd.log");
    EXPECT_TRUE(fs::exists(spool / "bad" / "1-bad.mail"));
    EXPECT_FALSE(fs::exists(spool / "old.mail.part")) << "left by a crash";
    EXPECT_TRUE(fs::exists(spool / "new.mail.part")) << "may be another instance's";
    EXPECT_EQ(Mail("me@163.com").status, 200) << "still serving";
    ASSERT_TRUE(WaitFor([&] { return Files(dir_ / "notifyd-outbox") == 2; }, 5s)); // whole, not the ".part"
    fs::path mail; // the one just asked for
    for (const auto& e : fs::directory_iterator(dir_ / "notifyd-outbox"))
        if (e.path().filename() != "2-good.eml")
            mail = e.path();
    // Decoded headers, whether Date is now, and the text with Date's local time.
    const std::string script = R"(
import email, email.policy, email.utils, sys, time
m = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
d = email.utils.parsedate_to_datetime(m["Date"])
print(m["From"], m["To"], m["Subject"], d.utcoffset(), abs(d.timestamp() - time.time()) < 60, sep="|")
print(m.get_content().replace(d.strftime("%Y-%m-%d %H:%M:%S %z"), "<Date>"), end=""))";
    std::ofstream(dir_ / "read_mail.py") << script;
    const std::string command = "python3 " + (dir_ / "read_mail.py").string() + " " + mail.string();
    ASSERT_EQ(std::system((command + " >" + (dir_ / "read").string()).c_str()), 0);
    EXPECT_EQ(Slurp(dir_ / "read"),
              "Zarvex <zarvex-notifyd@localhost>|me@163.com|Zarvex 监控提醒|8:00:00|True\n"
              "您好！\r\n\r\n您的 Zarvex 监控点发出了提醒：屏幕上被监控的位置出现了您设定的情况。\r\n"
              "通知服务收到这次提醒的时间：<Date>\r\n\r\n这封邮件由 zarvex-notifyd 自动发送，请勿回复。\r\n");
    ::kill(service_.Pid(), SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return !service_.Running(); }, 5s));
}
