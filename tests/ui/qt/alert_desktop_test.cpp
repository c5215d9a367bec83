// The road of one alert, as a user walks it on a real (virtual) desktop:
// Ctrl+W over a spot, an address typed into the window, "启动" clicked, the
// spot changes (or stays), the request reaches a local notification service,
// the point reads "已提醒", and the alert sound plays through ALSA.
#include "desktop/desktop_support.h"
#include "support/child_process.h"
#include "support/test_helpers.h"

#include "config/ini_file.h"
#include "ui/qt/main_window.h"
#include "support/http_test_server.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

#include <alsa/asoundlib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

using namespace zarvex;
using namespace zarvex::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using test::Slurp;

class AlertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("zarvex-alert-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        fs::copy_file(fs::path(ZARVEX_DATA_DIR) / "tx.wav", folder_ / "tx.wav");
        log_ = folder_ / "requests.log";
        capture_ = folder_ / "sound.raw";
        std::ofstream(capture_).close();

        StartServer("4.0.1");

        // ALSA's default device appends everything played to a file.
        const fs::path conf = folder_ / "asound.conf";
        std::ofstream(conf) << "pcm.!default { type file slave { pcm { type null } } file \"|cat >>"
                            << capture_.string() << "\" format \"raw\" }\n";
        ::setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
        snd_config_update_free_global();
    }
    void TearDown() override
    {
        server_.kill();
        server_.waitForFinished();
        ::unsetenv("ALSA_CONFIG_PATH");
        snd_config_update_free_global();
        Sh("xsetroot -solid black");
        fs::remove_all(folder_);
    }

    // The notification and update service, on a free port.
    void StartServer(const char* version)
    {
        if (server_.state() != QProcess::NotRunning) {
            server_.kill();
            server_.waitForFinished();
        }
        server_.start("python3", {ZARVEX_NOTIFY_SERVER, "--log", QString::fromStdString(log_.string()), "--version",
                                  version});
        ASSERT_TRUE(server_.waitForStarted());
        ASSERT_TRUE(server_.waitForReadyRead(10000));
        port_ = QString::fromUtf8(server_.readLine()).trimmed().toStdString();
    }

    std::unique_ptr<monitor::Form1> Open(int threshold, std::array<int, 3> retryDelaysMs = notify::kRetryDelaysMs)
    {
        std::ofstream(folder_ / "config.ini") << "[con]\nfz=" << threshold << "\nchgwnd=70\ntips=0\nemail=\ngame=old\n"
                                              << "server=127.0.0.1:" << port_ << "\n";
        monitor::Form1Services services;
        services.screen = DesktopEnvironment::Platform().screen.get();
        services.hotKeys = DesktopEnvironment::Platform().hotKeys.get();
        services.sound = DesktopEnvironment::Platform().sound.get();
        services.notifyRetryDelaysMs = retryDelaysMs;
        auto w = std::make_unique<monitor::Form1>(services, folder_);
        w->show();
        Sh("xdotool search --sync --onlyvisible --name Zarvex >/dev/null");
        Pump(300);
        return w;
    }
    // Marks the bare desktop at (x, y) with Ctrl+W, as a user would.
    void MarkPoint(monitor::Form1& w, int x, int y)
    {
        Sh("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
        Pump(300);
        Sh("xdotool key ctrl+w");
        ASSERT_TRUE(PumpUntil([&] { return w.Points().Count() == 1; }, 3000));
    }
    void TypeAddressAndStart(monitor::Form1& w, const std::string& address)
    {
        auto* box = w.findChild<QLineEdit*>("Text2");
        Click(box);
        Sh("xdotool type --delay 20 '" + address + "'");
        ASSERT_TRUE(PumpUntil([&] { return box->text().toStdString() == address; }, 5000)) << box->text().toStdString();
        Click(w.findChild<QPushButton*>("Command2"));
        ASSERT_EQ(w.findChild<QPushButton*>("Command2")->text().toStdString(), "停止");
    }
    std::vector<std::string> Requests()
    {
        std::vector<std::string> paths;
        const std::string log = Slurp(log_);
        for (size_t at = log.find("\"path\": \""); at != std::string::npos; at = log.find("\"path\": \"", at + 1)) {
            const size_t start = at + 9;
            paths.push_back(log.substr(start, log.find('"', start) - start));
        }
        return paths;
    }
    size_t MailRequests()
    {
        const auto r = Requests();
        return static_cast<size_t>(std::count_if(r.begin(), r.end(), [](const std::string& p) {
            return p.rfind("/quorel401/mail.asp", 0) == 0;
        }));
    }

    fs::path folder_, log_, capture_;
    QProcess server_;
    std::string port_;
};

} // namespace

TEST_F(AlertTest, ChangeUnderThePointSendsTheMailRequestAndSounds)
{
    auto w = Open(60);
    PumpUntil([&] { return !Requests().empty(); }, 2000);
    EXPECT_EQ(Requests(), (std::vector<std::string>{"/quorel401/vers.asp"})) << "the update check at start-up";
    ASSERT_EQ(Sh("xsetroot -solid '#112233'"), 0);
    MarkPoint(*w, 1270, 790);
    Click(w->findChild<QRadioButton*>("opt_whenchange"));
    ASSERT_TRUE(w->findChild<QRadioButton*>("opt_whenchange")->isChecked());
    TypeAddressAndStart(*w, "tester+1&x@163.com");
    EXPECT_EQ(w->windowTitle().toStdString(), "Zarvexv4.0.1");
    EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "email"), "tester+1&x@163.com");

    Pump(2500); // running, nothing changes: no request, no sound
    EXPECT_EQ(MailRequests(), 0u);
    EXPECT_EQ(fs::file_size(capture_), 0u) << "no sound before the first alert";

    const auto changed = Clock::now();
    ASSERT_EQ(Sh("xsetroot -solid '#445566'"), 0);
    ASSERT_TRUE(PumpUntil([&] { return MailRequests() == 1; }, 5000));
    const auto latency = Clock::now() - changed;
    EXPECT_LT(latency, std::chrono::seconds(3));
    EXPECT_EQ(Requests().back(), "/quorel401/mail.asp?usermail=tester+1&x@163.com");
    EXPECT_NE(Slurp(log_).find("\"content_type\": \"application/x-www-form-urlencoded; charset=utf-8\", "
                               "\"content_length\": \"0\", \"body\": \"\""),
              std::string::npos);
    PumpUntil([&] { return w->findChild<QPushButton*>("Command2")->text() == QString::fromUtf8("启动"); }, 1000);
    EXPECT_EQ(w->findChild<QPushButton*>("Command2")->text().toStdString(), "启动") << "the alert stops the run";
    EXPECT_EQ(monitor::StatusText(w->Points().At(0)), "已提醒");
    EXPECT_TRUE(w->State().AlertRaised);

    // The sound: one play of tx.wav per 3-second tick.
    const uintmax_t oneClip = 13230 * 2;
    ASSERT_TRUE(PumpUntil([&] { return fs::file_size(capture_) >= oneClip; }, 4500)) << "sound within 3 s";
    ASSERT_TRUE(PumpUntil([&] { return fs::file_size(capture_) >= 2 * oneClip; }, 4500)) << "and again";
    EXPECT_EQ(fs::file_size(capture_) % oneClip, 0u);
    // Local alerts off: silence from the next tick on.
    w->State().LocalAlertOn = false;
    Pump(500);
    const uintmax_t silent = fs::file_size(capture_);
    Pump(3500);
    EXPECT_EQ(fs::file_size(capture_), silent);
    EXPECT_EQ(MailRequests(), 1u) << "one mail per alert, never repeated";

    // Without tx.wav the default alert sound plays instead.
    fs::remove(folder_ / "tx.wav");
    w->State().LocalAlertOn = true;
    ASSERT_TRUE(PumpUntil([&] { return fs::file_size(capture_) > silent; }, 4500));
    Pump(300);
    EXPECT_EQ(fs::file_size(capture_) - silent, 2u * 2u * (3307u + 1764u)) << "the default beeps";
}

TEST_F(AlertTest, NoChangeForTheThresholdSendsTheMailRequest)
{
    auto w = Open(3);
    ASSERT_EQ(Sh("xsetroot -solid '#112233'"), 0);
    MarkPoint(*w, 1270, 790);
    const auto started = Clock::now();
    TypeAddressAndStart(*w, "still@163.com");
    ASSERT_TRUE(PumpUntil([&] { return MailRequests() == 1; }, 8000));
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    EXPECT_GE(seconds, 2.5) << "three unchanged seconds first";
    EXPECT_LE(seconds, 6.0);
    EXPECT_EQ(Requests().back(), "/quorel401/mail.asp?usermail=still@163.com");
    EXPECT_EQ(monitor::StatusText(w->Points().At(0)), "已提醒");
    EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "game"), "old");
}

TEST_F(AlertTest, StartUpTellsOfANewerVersion)
{
    StartServer(" 4.2.0\n");
    std::string seen;
    AnswerMessageBox(&seen, QMessageBox::Ok, 1500);
    auto w = Open(60); // the message comes when the answer does
    PumpUntil([&] { return !seen.empty(); }, 3000);
    EXPECT_EQ(seen, "提示|你使用的版本为4.0.1\r\n软件最新版本为4.2.0,为了更好的体验，请下载最新版本！");
    EXPECT_TRUE(w->isVisible());
}

TEST_F(AlertTest, AnAlertBecomesAMessageInTheMailbox)
{
    // The whole road: program -> zarvex-notifyd -> SMTP relay -> mailbox.
    auto freePort = [] { return std::to_string(test::FreePort()); };
    const std::string smtpPort = freePort(), servicePort = freePort();
    test::ChildProcess smtp({"/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + smtpPort, "-c",
                             "aiosmtpd.handlers.Mailbox", (folder_ / "maildir").string()});
    std::ofstream(folder_ / "notifyd.ini") << "[notifyd]\nlisten=127.0.0.1:" << servicePort
                                           << "\nrelay=smtp://127.0.0.1:" << smtpPort << "\nretry_initial_seconds=1\n";
    test::ChildProcess service({ZARVEX_NOTIFYD, "--config", (folder_ / "notifyd.ini").string()});
    Pump(1500); // both listening

    port_ = servicePort;
    auto w = Open(0); // threshold 0: a new point alerts at the next alert pass
    ASSERT_EQ(Sh("xsetroot -solid '#112233'"), 0);
    w->findChild<QLineEdit*>("Text2")->setText("owner@163.com");
    MarkPoint(*w, 1270, 790);
    const fs::path inbox = folder_ / "maildir" / "new";
    auto mails = [&] {
        std::error_code ec;
        return std::distance(fs::directory_iterator(inbox, ec), fs::directory_iterator());
    };
    ASSERT_TRUE(PumpUntil([&] { return mails() == 1; }, 10000));
    EXPECT_NE(Slurp(fs::directory_iterator(inbox)->path()).find("To: <owner@163.com>"), std::string::npos);
    EXPECT_EQ(monitor::StatusText(w->Points().At(0)), "已提醒");
}

TEST_F(AlertTest, ASilentServiceNeverFreezesTheWindow)
{
    // A service that takes every request and never answers (each would take
    // the full 15 s time-out).
    auto blackHole = std::make_unique<HttpTestServer>();
    blackHole->Set(HttpTestServer::Behaviour::NeverAnswer);
    port_ = std::to_string(blackHole->Port());
    const auto opening = Clock::now();
    auto w = Open(1);
    EXPECT_LT(Clock::now() - opening, std::chrono::seconds(5)) << "start-up does not wait for the update check";

    ASSERT_EQ(Sh("xsetroot -solid '#112233'"), 0);
    MarkPoint(*w, 1270, 790);
    auto* button = w->findChild<QPushButton*>("Command2");
    TypeAddressAndStart(*w, "me@163.com"); // the pointer now rests on 启动
    // One unchanged second later the point alerts; the moment its request
    // reaches the service, the user clicks 启动 again.
    std::atomic<Clock::rep> clicked{0};
    std::thread user([&] {
        for (int i = 0; i < 500 && blackHole->Requests().size() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        clicked = Clock::now().time_since_epoch().count();
        Sh("xdotool click 1");
    });
    const bool answered =
        PumpUntil([&] { return clicked != 0 && button->text() == QString::fromUtf8("停止"); }, 20000);
    const auto tookToAnswer = Clock::now() - Clock::time_point(Clock::duration(clicked.load()));
    user.join();
    ASSERT_TRUE(answered);
    // Far below the 15 s a request may take: the bound only tells a frozen window.
    EXPECT_LT(tookToAnswer, std::chrono::seconds(3)) << "the click waits for no request";
    EXPECT_EQ(monitor::StatusText(w->Points().At(0)), "已提醒");
    EXPECT_TRUE(w->State().AlertRaised);

    // Closing with both requests under way neither waits nor crashes when
    // their connections end afterwards.
    const auto closing = Clock::now();
    w.reset();
    EXPECT_LT(Clock::now() - closing, std::chrono::seconds(2));
    blackHole.reset();
    Pump(500);
}

TEST_F(AlertTest, AFailedNotificationLeavesALineUntilTheNextRun)
{
    HttpTestServer failing;
    failing.Set(HttpTestServer::Behaviour::Answer, 500, "<html>Traceback: secret</html>");
    port_ = std::to_string(failing.Port());
    auto w = Open(1, {100, 100, 100}); // retries 0.1 s apart instead of 10, 30 and 90 s
    auto* line = w->findChild<QLabel*>("mailFailure");
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(line->isVisible());
    ASSERT_EQ(Sh("xsetroot -solid '#112233'"), 0);
    MarkPoint(*w, 1270, 790);
    TypeAddressAndStart(*w, "me@163.com");

    ASSERT_TRUE(PumpUntil([&] { return line->isVisible(); }, 8000));
    EXPECT_EQ(line->text().toStdString(), "提醒邮件未能发出：服务出错（500）");
    EXPECT_EQ(failing.Requests().size(), 1u + 4u) << "the update check, then the request and three retries";
    EXPECT_EQ(monitor::StatusText(w->Points().At(0)), "已提醒");
    EXPECT_TRUE(w->State().AlertRaised);
    auto* button = w->findChild<QPushButton*>("Command2");
    EXPECT_EQ(button->text().toStdString(), "启动");
    Click(button);
    EXPECT_EQ(button->text().toStdString(), "停止");
    EXPECT_FALSE(line->isVisible()) << "gone when the next run starts";
}
