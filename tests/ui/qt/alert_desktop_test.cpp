// The road of one alert, as a user walks it on a real (virtual) desktop:
// Ctrl+W over a spot, an address typed into the window, "启动" clicked, the
// spot changes, the request reaches zarvex-notifyd (which writes the mail into
// its outbox), the point reads "已提醒", and the alert sound plays through
// ALSA. Then what a silent or failing service does to the window.
#include "desktop/desktop_support.h"
#include "support/child_process.h"
#include "support/http_test_server.h"
#include "support/test_helpers.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

#include <chrono>
#include <thread>

using namespace zarvex;
using namespace zarvex::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using AlertTest = DesktopCase;

TEST_F(AlertTest, AChangeUnderThePointBecomesAMailAndTheSound)
{
    ASSERT_EQ(Sh("xsetroot -solid '#112233'"), 0);
    fs::copy_file(fs::path(ZARVEX_DATA_DIR) / "tx.wav", folder_ / "tx.wav");
    const int port = FreePort();
    std::ofstream(folder_ / "notifyd.ini") << "[notifyd]\nlisten=127.0.0.1:" << port << "\nversion=4.2.0\n";
    ChildProcess service({ZARVEX_NOTIFYD, "--config", (folder_ / "notifyd.ini").string()});
    ASSERT_TRUE(WaitFor([&] { return Accepts(port); }, std::chrono::seconds(10)));
    const fs::path outbox = folder_ / "notifyd-outbox";
    auto mails = [&] {
        std::error_code none; // no outbox before the first mail
        std::vector<fs::path> found(fs::directory_iterator(outbox, none), fs::directory_iterator());
        std::erase_if(found, [](const fs::path& p) { return p.extension() != ".eml"; });
        return found;
    };

    // The update check at start-up: the message comes when the answer does.
    std::string seen;
    AnswerMessageBox(&seen, QMessageBox::Ok, 1500);
    auto w = Open("fz=60\ngame=old\nserver=127.0.0.1:" + std::to_string(port) + "\n");
    const std::string update = "提示|你使用的版本为4.0.1\r\n软件最新版本为4.2.0,为了更好的体验，请下载最新版本！|确定";
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen == update; }, 3000)) << seen;

    MarkPoint(*w, 1270, 790);
    Click(w->findChild<QRadioButton*>("opt_whenchange"));
    auto* address = w->findChild<QLineEdit*>("Text2");
    Click(address);
    Sh("xdotool type --delay 20 'tester+1@163.com'");
    ASSERT_TRUE(QTest::qWaitFor([&] { return address->text() == "tester+1@163.com"; }, 5000));
    Click(w->findChild<QPushButton*>("Command2"));
    EXPECT_EQ(Ini("game"), "old") << "the search box as loaded";
    QTest::qWait(1500); // running, nothing changes: no mail, no sound
    EXPECT_TRUE(mails().empty());
    EXPECT_EQ(fs::file_size(capture_), 0u) << "no sound before the first alert";

    ASSERT_EQ(Sh("xsetroot -solid '#445566'"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mails().size() == 1; }, 5000));
    EXPECT_NE(Slurp(mails()[0]).find("\r\nTo: <tester+1@163.com>\r\n"), std::string::npos) << Slurp(mails()[0]);
    const QAbstractItemModel* points = w->findChild<QTableView*>("ListView2")->model();
    EXPECT_EQ(points->index(0, 6).data().toString().toStdString(), "已提醒") << "the point's state as shown";

    // The sound: one play of tx.wav per 3-second tick.
    const uintmax_t oneClip = 13230 * 2;
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::file_size(capture_) >= oneClip; }, 4500)) << "sound within 3 s";
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::file_size(capture_) >= 2 * oneClip; }, 4500)) << "and again";
    EXPECT_EQ(fs::file_size(capture_) % oneClip, 0u);
    // Local alerts off: silence from the next tick on.
    w->State().LocalAlertOn = false;
    QTest::qWait(500);
    const uintmax_t silent = fs::file_size(capture_);
    QTest::qWait(3500);
    EXPECT_EQ(fs::file_size(capture_), silent);
    EXPECT_EQ(mails().size(), 1u) << "one mail per alert, never repeated";
}

// A service that never answers the update check, then answers the mail
// request with an error page, then takes requests and never answers.
TEST_F(AlertTest, AFailureLeavesALineUntilTheNextRunAndASilentServiceNeverFreezesTheWindow)
{
    auto service = std::make_unique<HttpTestServer>();
    service->Set(HttpTestServer::Behaviour::NeverAnswer);
    const auto opening = Clock::now();
    monitor::Form1Services quick; // retries 0.1 s apart instead of 10, 30 and 90 s
    quick.notifyRetryDelaysMs = {100, 100, 100};
    const std::string server = "server=127.0.0.1:" + std::to_string(service->Port()) + "\n";
    auto w = Open("fz=1\nemail=me@163.com\n" + server, quick);
    EXPECT_LT(Clock::now() - opening, std::chrono::seconds(5)) << "start-up does not wait for the update check";
    service->Set(HttpTestServer::Behaviour::Answer, 500, "<html>Traceback: secret</html>");
    auto* line = w->findChild<QLabel*>("mailFailure");
    auto* button = w->findChild<QPushButton*>("Command2");
    MarkPoint(*w, 1270, 790);
    Click(button);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line->isVisible(); }, 8000));
    EXPECT_EQ(line->text().toStdString(), "提醒邮件未能发出：服务出错（500）");
    EXPECT_EQ(service->Requests().size(), 1u + 4u) << "the update check, then the request and three retries";

    // A new point; the next run hides the line. One unchanged second later the
    // point alerts; the moment its request reaches the now silent service
    // (each request would take the full 15 s time-out), the user clicks 启动.
    service->Set(HttpTestServer::Behaviour::NeverAnswer);
    MarkPoint(*w, 1260, 780, 2);
    Click(button); // the pointer now rests on 启动
    EXPECT_EQ(button->text().toStdString(), "停止");
    EXPECT_FALSE(line->isVisible()) << "gone when the next run starts";
    std::atomic<Clock::rep> clicked{0};
    std::thread user([&] {
        WaitFor([&] { return service->Requests().size() >= 6; }, std::chrono::seconds(5));
        clicked = Clock::now().time_since_epoch().count();
        Sh("xdotool click 1");
    });
    const bool answered =
        QTest::qWaitFor([&] { return clicked != 0 && button->text() == QString::fromUtf8("停止"); }, 20000);
    const auto tookToAnswer = Clock::now() - Clock::time_point(Clock::duration(clicked.load()));
    user.join();
    ASSERT_TRUE(answered);
    // Far below the 15 s a request may take: the bound only tells a frozen window.
    EXPECT_LT(tookToAnswer, std::chrono::seconds(3)) << "the click waits for no request";

    // Closing with both requests under way neither waits nor crashes when
    // their connections end afterwards.
    const auto closing = Clock::now();
    w.reset();
    EXPECT_LT(Clock::now() - closing, std::chrono::seconds(2));
    service.reset();
    QTest::qWait(500);
}
