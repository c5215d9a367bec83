// Window search, multi-window switching and the settings window on a real
// (virtual) desktop, checked through the window manager's own records.
#include "desktop/desktop_support.h"
#include "support/temp_folder.h"

#include "config/ini_file.h"
#include "ui/qt/settings_window.h"
#include "ui/qt/main_window.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

using namespace zarvex;
using namespace zarvex::test;
namespace fs = std::filesystem;

namespace {

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(folder_ / "config.ini") << "[con]\nfz=60\nchgwnd=70\ntips=0\nemail=me@163.com\ngame=\n";
    }
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
        p->start("xclock", {"-title", QString::fromStdString(title), "-geometry",
                            QString("100x100+%1+300").arg(x)});
        ASSERT_TRUE(p->waitForStarted());
        ASSERT_EQ(Sh("xdotool search --sync --onlyvisible --name '^" + title + "$' >/dev/null"), 0);
        clocks_.push_back(std::move(p));
    }
    std::unique_ptr<monitor::Form1> Open()
    {
        monitor::Form1Services services;
        services.screen = DesktopEnvironment::Platform().screen.get();
        services.hotKeys = DesktopEnvironment::Platform().hotKeys.get();
        services.windows = DesktopEnvironment::Platform().windows.get();
        services.checkForUpdate = [] {};
        services.notify = [this](const std::string& a) { notified_.push_back(a); };
        auto w = std::make_unique<monitor::Form1>(services, folder_);
        w->show();
        Sh("xdotool search --sync --onlyvisible --name Zarvex >/dev/null");
        Pump(300);
        return w;
    }
    // The window manager's stacking, bottom to top.
    static std::vector<unsigned long> Stacking()
    {
        std::istringstream in(ShOut("xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,/ /g'"));
        std::vector<unsigned long> ids;
        std::string id;
        while (in >> id)
            ids.push_back(std::stoul(id, nullptr, 16));
        return ids;
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

TEST_F(WindowsTest, SearchListsTheWindowsWhoseTitleContainsTheText)
{
    StartClock("game1", 600);
    StartClock("game2", 750);
    StartClock("other", 900);
    auto w = Open();
    auto* check1 = w->findChild<QCheckBox*>("Check1");
    const int compact = w->frameGeometry().height();
    Click(check1); // chgwnd 70 >= fz 60 + 5: the search part appears
    ASSERT_TRUE(check1->isChecked());
    EXPECT_GT(w->frameGeometry().height(), compact + 100);
    ASSERT_TRUE(w->findChild<QPushButton*>("Command1")->isVisible());

    auto* box = w->findChild<QLineEdit*>("serch_proc");
    Click(box);
    Sh("xdotool type game");
    ASSERT_TRUE(PumpUntil([&] { return box->text() == "game"; }, 3000));
    Click(w->findChild<QPushButton*>("Command1"));
    // Front to back: game2 was mapped after game1. The main window (in front) does not match.
    EXPECT_EQ(Titles(w->Windows()), (std::vector<std::string>{"game2", "game1"}));
    const std::string game1Id = ShOut("xdotool search --name '^game1$'");
    EXPECT_EQ(windows::HandleText(w->Windows().At(1).handle), game1Id);

    // A text from the main window's own caption lists it, twice: it is also in front.
    box->setText(QString::fromUtf8("Zarvexv4.0.1 鼠标位置"));
    Click(w->findChild<QPushButton*>("Command1"));
    ASSERT_EQ(w->Windows().Count(), 2);
    EXPECT_EQ(w->Windows().At(0).handle, w->winId());
    EXPECT_EQ(w->Windows().At(1).handle, w->winId());
    EXPECT_EQ(w->Windows().At(1).entryNo, 2);
}

TEST_F(WindowsTest, SwitchingBringsTheListedWindowsToTheTopInTurn)
{
    StartClock("game1", 600);
    StartClock("game2", 750);
    auto w = Open();
    w->findChild<QLineEdit*>("serch_proc")->setText("game");
    w->OnSearch();
    ASSERT_EQ(w->Windows().Count(), 2);
    const auto first = w->Windows().At(0).handle, second = w->Windows().At(1).handle;
    w->State().SwitchInterval = 1; // a switch every second tick, then the 3 s wait

    ASSERT_TRUE(PumpUntil([&] { return !w->Windows().At(0).shownAt.empty(); }, 6000)) << "row 1 first";
    EXPECT_EQ(Stacking().back(), first);
    EXPECT_TRUE(Above(first));
    EXPECT_FALSE(w->Windows().At(0).shownAt.empty());
    ASSERT_TRUE(PumpUntil([&] { return !w->Windows().At(1).shownAt.empty(); }, 9000)) << "then row 2";
    Pump(300);
    EXPECT_EQ(Stacking().back(), second);
    EXPECT_TRUE(Above(first) && Above(second)) << "both stay in the topmost band";

    // A window closed meanwhile is skipped without harm: row 1 (game2, in
    // front when the search ran) goes away.
    ASSERT_EQ(w->Windows().At(0).title, "game2");
    clocks_[1]->kill();
    clocks_[1]->waitForFinished();
    const std::string before = w->Windows().At(0).shownAt;
    ASSERT_TRUE(PumpUntil([&] { return w->Switching().CurrentWindowIndex == 1 && w->Windows().At(0).shownAt != before; }, 9000));
    ASSERT_TRUE(PumpUntil([&] { return w->Switching().CurrentWindowIndex == 2; }, 9000));
    Pump(300);
    EXPECT_EQ(Stacking().back(), second);
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

    // The new threshold rules the next passes: a still point alerts after 3 s.
    Sh("xsetroot -solid '#101010'");
    w->State().CurrentX = 1275;
    w->State().CurrentY = 795;
    w->State().CurrentColor = w->State().CurrentColor; // as tracked
    Pump(300);
    Sh("xdotool mousemove 1275 795");
    Pump(300);
    w->AddPointFromHotKey();
    w->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return notified_.size() == 1; }, 7000));
    Sh("xsetroot -solid black");
}

TEST_F(WindowsTest, ExitGoesThroughTheSettingsWindowsRule)
{
    auto w = Open();
    w->OpenSettings();
    auto* form3 = w->findChild<config::Form3*>("Form3");
    form3->findChild<QLineEdit*>("T_chg")->setText("80");
    form3->findChild<QLineEdit*>("T_fz")->setText("x");
    // Exit confirmed, but a bad number: its message, and both windows stay.
    std::string confirm, refusal;
    AnswerMessageBox(&confirm, QMessageBox::Ok);
    AnswerMessageBox(&refusal, QMessageBox::Ok, 900);
    w->close();
    Pump(300);
    EXPECT_EQ(refusal, "提示|窗口切换间隔和阀值必须是-32768到32767之间的整数");
    EXPECT_TRUE(w->isVisible() && form3->isVisible());
    // Mended: the exit saves the numbers.
    form3->findChild<QLineEdit*>("T_fz")->setText("7");
    AnswerMessageBox(&confirm, QMessageBox::Ok);
    w->close();
    Pump(300);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "chgwnd"), "80");
    EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "fz"), "7");
}

TEST_F(WindowsTest, Check1GuardsTheSwitchingRule)
{
    std::ofstream(folder_ / "config.ini") << "[con]\nfz=60\nchgwnd=64\ntips=0\n";
    auto w = Open();
    auto* check1 = w->findChild<QCheckBox*>("Check1");
    const int compact = w->frameGeometry().height();
    const std::string refusal = "提示|窗口切换时间至少应比阀值大5秒";
    std::string seen;
    AnswerMessageBox(&seen, QMessageBox::Ok, 600);
    Click(check1);
    Pump(600);
    EXPECT_EQ(seen, refusal);
    EXPECT_FALSE(check1->isChecked());
    EXPECT_EQ(w->frameGeometry().height(), compact);
    EXPECT_FALSE(w->findChild<QPushButton*>("Command1")->isVisible());

    w->State().SwitchInterval = 65;
    Click(check1);
    EXPECT_TRUE(check1->isChecked());
    EXPECT_TRUE(w->findChild<QPushButton*>("Command1")->isVisible());
    // Settings changed afterwards so that the rule fails: clearing shows the
    // message and leaves the search part visible.
    w->State().SwitchInterval = 10;
    seen.clear();
    AnswerMessageBox(&seen, QMessageBox::Ok, 600);
    Click(check1);
    Pump(600);
    EXPECT_EQ(seen, refusal);
    EXPECT_FALSE(check1->isChecked());
    EXPECT_TRUE(w->findChild<QPushButton*>("Command1")->isVisible());
}
