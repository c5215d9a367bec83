// Window search, multi-window switching and the settings window on a real
// (virtual) desktop, checked through the window manager's own records.
#include "desktop/desktop_support.h"
#include "support/temp_folder.h"

#include "config/ini_file.h"
#include "ui/qt/settings_window.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>

#include <fstream>
#include <sstream>

using namespace zarvex;
using namespace zarvex::test;
namespace fs = std::filesystem;

namespace {

class WindowsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (auto& p : clocks_) {
            p->kill();
            p->waitForFinished();
        }
    }
    void StartClock(const std::string& title, int x)
    {
        auto p = std::make_unique<QProcess>();
        p->start("xclock", {"-title", QString::fromStdString(title), "-geometry", QString("100x100+%1+300").arg(x)});
        ASSERT_TRUE(p->waitForStarted());
        ASSERT_EQ(Sh("xdotool search --sync --onlyvisible --name '^" + title + "$' >/dev/null"), 0);
        clocks_.push_back(std::move(p));
    }
    std::unique_ptr<monitor::Form1> Open(int switchInterval = 70)
    {
        std::ofstream(folder_ / "config.ini") << "[con]\nfz=60\nchgwnd=" << switchInterval
                                              << "\ntips=0\nemail=me@163.com\ngame=\n";
        monitor::Form1Services services;
        services.checkForUpdate = [] {};
        services.notify = [this](const std::string& a) { notified_.push_back(a); };
        return OpenMainWindow(folder_, services);
    }
    // The topmost window in the window manager's stacking, and whether it is in the always-on-top band.
    static unsigned long Top()
    {
        std::istringstream in(ShOut("xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,/ /g'"));
        std::string id, last;
        while (in >> id)
            last = id;
        return std::stoul(last, nullptr, 16);
    }
    static bool Above(unsigned long window)
    {
        return ShOut("xprop -id " + std::to_string(window) + " _NET_WM_STATE").find("_NET_WM_STATE_ABOVE")
            != std::string::npos;
    }

    TempFolder temp_{"windows"};
    const fs::path folder_ = temp_.Path();
    std::vector<std::unique_ptr<QProcess>> clocks_;
    std::vector<std::string> notified_;
};

std::vector<std::string> Titles(const windows::WindowList& list)
{
    std::vector<std::string> t;
    for (int i = 0; i < list.Count(); ++i)
        t.push_back(list.At(i).title);
    return t;
}

} // namespace

TEST_F(WindowsTest, Check1GuardsTheSwitchingRuleAndTheSearchListsMatchingTitles)
{
    StartClock("game1", 600);
    StartClock("game2", 750);
    StartClock("other", 900);
    auto w = Open(64); // not 5 s above the threshold of 60
    auto* check1 = w->findChild<QCheckBox*>("Check1");
    auto* search = w->findChild<QPushButton*>("Command1");
    const int compact = w->frameGeometry().height();
    const std::string refusal = "提示|窗口切换时间至少应比阀值大5秒";
    std::string seen;
    AnswerMessageBox(&seen, QMessageBox::Ok, 600);
    Click(check1);
    Pump(600);
    EXPECT_EQ(seen, refusal);
    EXPECT_FALSE(check1->isChecked());
    EXPECT_EQ(w->frameGeometry().height(), compact);
    EXPECT_FALSE(search->isVisible());

    w->State().SwitchInterval = 65;
    Click(check1); // the search part appears
    ASSERT_TRUE(check1->isChecked());
    EXPECT_GT(w->frameGeometry().height(), compact + 100);
    ASSERT_TRUE(search->isVisible());

    auto* box = w->findChild<QLineEdit*>("serch_proc");
    Click(box);
    Sh("xdotool type game");
    ASSERT_TRUE(PumpUntil([&] { return box->text() == "game"; }, 3000));
    Click(search);
    // Front to back: game2 was mapped after game1. The main window (in front) does not match.
    EXPECT_EQ(Titles(w->Windows()), (std::vector<std::string>{"game2", "game1"}));
    EXPECT_EQ(windows::HandleText(w->Windows().At(1).handle), ShOut("xdotool search --name '^game1$'"));
    // A text from the main window's own caption lists it, twice: it is also in front.
    box->setText(QString::fromUtf8("Zarvexv4.0.1 鼠标位置"));
    Click(search);
    ASSERT_EQ(w->Windows().Count(), 2);
    EXPECT_EQ(w->Windows().At(0).handle, w->winId());
    EXPECT_EQ(w->Windows().At(1).handle, w->winId());

    // Settings changed afterwards so that the rule fails: clearing shows the
    // message and leaves the search part visible.
    w->State().SwitchInterval = 10;
    seen.clear();
    AnswerMessageBox(&seen, QMessageBox::Ok, 600);
    Click(check1);
    Pump(600);
    EXPECT_EQ(seen, refusal);
    EXPECT_FALSE(check1->isChecked());
    EXPECT_TRUE(search->isVisible());
}

TEST_F(WindowsTest, SwitchingSkipsAClosedWindowAndRaisesTheNextIntoTheTopBand)
{
    StartClock("game1", 600);
    StartClock("game2", 750);
    auto w = Open();
    w->findChild<QLineEdit*>("serch_proc")->setText("game");
    w->OnSearch();
    ASSERT_EQ(Titles(w->Windows()), (std::vector<std::string>{"game2", "game1"}));
    w->State().SwitchInterval = 1; // a switch every second tick, then the 3 s wait
    // Row 1's window closed meanwhile: skipped without harm, its row still stamped.
    clocks_[1]->kill();
    clocks_[1]->waitForFinished();
    ASSERT_TRUE(PumpUntil([&] { return !w->Windows().At(0).shownAt.empty(); }, 6000)) << "row 1 first";
    ASSERT_TRUE(PumpUntil([&] { return !w->Windows().At(1).shownAt.empty(); }, 9000)) << "then row 2";
    Pump(300);
    EXPECT_EQ(Top(), w->Windows().At(1).handle);
    EXPECT_TRUE(Above(w->Windows().At(1).handle));
    EXPECT_TRUE(w->isVisible());
}

TEST_F(WindowsTest, SettingsWindowSavesReadsBackAndRefusesBadNumbers)
{
    auto w = Open();
    w->OpenSettings();
    auto* form3 = w->findChild<config::Form3*>("Form3");
    ASSERT_TRUE(form3 && form3->isVisible());
    EXPECT_EQ(form3->windowTitle().toStdString(), "配置");
    EXPECT_EQ(form3->findChild<QLineEdit*>("T_chg")->text().toStdString(), "70");
    EXPECT_EQ(form3->findChild<QLineEdit*>("T_fz")->text().toStdString(), "60");
    EXPECT_FALSE(form3->findChild<QCheckBox*>("Check2")->isEnabled());

    // A bad number typed, then Esc: refused with the message, the window
    // stays, nothing written.
    auto type = [&](const char* box, const std::string& text) {
        Click(form3->findChild<QLineEdit*>(box));
        Sh("xdotool key ctrl+a type '" + text + "'");
        ASSERT_TRUE(PumpUntil([&] { return form3->findChild<QLineEdit*>(box)->text().toStdString() == text; }, 2000));
    };
    type("T_fz", "abc");
    std::string seen;
    AnswerMessageBox(&seen, QMessageBox::Ok);
    Sh("xdotool key Escape");
    PumpUntil([&] { return !seen.empty(); }, 5000);
    EXPECT_EQ(seen, "提示|窗口切换间隔和阀值必须是-32768到32767之间的整数");
    EXPECT_TRUE(form3->isVisible());
    EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "fz"), "60");

    // Good numbers, the local sound turned off by a real click, then Esc:
    // saved as the close box would.
    type("T_fz", "3");
    type("T_chg", "10");
    Click(form3->findChild<QCheckBox*>("Check1"));
    EXPECT_FALSE(w->State().LocalAlertOn);
    Sh("xdotool key Escape");
    ASSERT_TRUE(PumpUntil([&] { return w->findChild<config::Form3*>("Form3") == nullptr; }, 2000));
    EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "chgwnd"), "10");
    EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "fz"), "3");
    EXPECT_EQ(w->State().Threshold, 3);
    EXPECT_EQ(w->State().SwitchInterval, 10);

    // Opened again: the boxes and the sound switch as they now stand.
    w->OpenSettings();
    form3 = w->findChild<config::Form3*>("Form3");
    EXPECT_EQ(form3->findChild<QLineEdit*>("T_fz")->text().toStdString(), "3");
    EXPECT_FALSE(form3->findChild<QCheckBox*>("Check1")->isChecked());
    form3->close();

    // The new threshold rules the next passes: a point that stays the same
    // (the default mode) alerts after 3 s, not before.
    Sh("xsetroot -solid '#101010'");
    MarkPoint(*w, 1275, 795);
    const auto started = std::chrono::steady_clock::now();
    w->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return notified_.size() == 1; }, 7000));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2500));
    EXPECT_EQ(notified_[0], "me@163.com");
    Sh("xsetroot -solid black");
}
