// The main window on a real (virtual) X desktop: the caption follows the real
// pointer, Ctrl+W pressed while another program has the focus adds exactly
// one point with the colour under the pointer, the tips window shows while its
// counter lasts; closing asks first, and the settings window saves however it
// is closed (Esc, or the program's exit) or refuses a bad number. Check1's
// rule, window search and multi-window switching, checked through the window
// manager's own records.
#include "desktop/desktop_support.h"
#include "platform/x11/x11_windows.h"
#include "support/child_process.h"

#include "ui/qt/info_windows.h"
#include "ui/qt/settings_window.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>

#include <deque>

using namespace zarvex;
using namespace zarvex::test;

TEST_F(DesktopCase, TipsShowWhileCountedAndCtrlWOverAnotherProgramAddsExactlyOnePoint)
{
    auto w = Open("tips=1\n");
    auto* tips = w->findChild<monitor::InfoWindow*>("tips");
    EXPECT_TRUE(tips && tips->isVisible());

    ASSERT_EQ(Sh("xsetroot -solid '#112233'"), 0);
    ChildProcess other({"xcalc"}); // another program that takes the keyboard focus
    ASSERT_EQ(Sh("xdotool search --sync --onlyvisible --class XCalc windowactivate --sync >/dev/null 2>&1"), 0);
    const int x = 1270, y = 790; // bare desktop, far from the windows
    MarkPoint(*w, x, y);
    EXPECT_EQ(w->windowTitle().toStdString(), monitor::CursorCaption(x, y)) << "the caption follows the pointer";
    const monitor::MonitorPoint p = w->Points().At(0);
    EXPECT_EQ(std::tuple(p.x, p.y, p.lastColor), std::tuple(x, y, 0x00332211)) << "#112233 as 0x00BBGGRR";

    // Still one point per press with NumLock on, and with CapsLock on; plain W
    // and Ctrl+Shift+W are not the hot key. A second point from one press
    // would show in the count at the end.
    for (const char* lock : {"Num_Lock", "Caps_Lock"}) {
        Sh(std::string("xdotool key ") + lock);
        MarkPoint(*w, x, y, w->Points().Count() + 1);
        Sh(std::string("xdotool key ") + lock);
    }
    Sh("xdotool key w ctrl+shift+w");
    QTest::qWait(500);
    EXPECT_EQ(w->Points().Count(), 3);
}

TEST_F(DesktopCase, ClosingAsksAndTheSettingsWindowSavesOnEscOrExitOrRefusesABadNumber)
{
    auto w = Open("");
    std::string seen;
    AnswerMessageBox(&seen, QMessageBox::Cancel);
    w->close();
    QTest::qWait(200);
    EXPECT_EQ(seen, "提示|你真的要退出吗?|取消") << "Qt's own button in Chinese too";
    EXPECT_TRUE(w->isVisible()) << "Cancel keeps the window";

    w->OpenSettings();
    auto* form3 = w->findChild<config::Form3*>("Form3");
    ASSERT_TRUE(form3 && form3->isVisible());
    EXPECT_FALSE(form3->findChild<QCheckBox*>("Check2")->isEnabled()) << "e-mail alerts are always on";
    auto box = [&](const char* name) { return form3->findChild<QLineEdit*>(name); };

    // A bad number typed, then Esc: refused with the message, the window stays.
    auto type = [&](const char* name, const std::string& text) {
        Click(box(name));
        Sh("xdotool key ctrl+a type '" + text + "'");
        ASSERT_TRUE(QTest::qWaitFor([&] { return box(name)->text().toStdString() == text; }, 2000));
    };
    const std::string refusal = "提示|窗口切换间隔和阀值必须是-32768到32767之间的整数|确定";
    type("T_fz", "abc");
    seen.clear();
    AnswerMessageBox(&seen, QMessageBox::Ok);
    Sh("xdotool key Escape");
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen == refusal; }, 5000)) << seen;
    EXPECT_TRUE(form3->isVisible());

    // Good numbers, the local sound turned off by a real click, then Esc:
    // saved as the close box would (the settings' unit cases check the file).
    // Opened again, the window shows the run's settings: the new ones.
    type("T_fz", "3");
    type("T_chg", "10");
    Click(form3->findChild<QCheckBox*>("Check1"));
    Sh("xdotool key Escape");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->findChild<config::Form3*>("Form3") == nullptr; }, 2000));
    w->OpenSettings();
    form3 = w->findChild<config::Form3*>("Form3");
    EXPECT_EQ((box("T_fz")->text() + "/" + box("T_chg")->text()).toStdString(), "3/10");
    EXPECT_FALSE(form3->findChild<QCheckBox*>("Check1")->isChecked());

    // Exit confirmed with a bad number: its message, and both windows stay.
    box("T_fz")->setText("x");
    std::string refused;
    AnswerMessageBox(&seen, QMessageBox::Ok);
    AnswerMessageBox(&refused, QMessageBox::Ok, 900);
    w->close();
    QTest::qWait(300);
    EXPECT_EQ(refused, refusal);
    EXPECT_TRUE(w->isVisible() && form3->isVisible());
    // Mended: the exit saves the numbers and closes.
    box("T_fz")->setText("7");
    AnswerMessageBox(&seen, QMessageBox::Ok);
    w->close();
    QTest::qWait(300);
    EXPECT_FALSE(w->isVisible()) << "OK closes it";
    EXPECT_EQ(Ini("fz"), "7");
}

TEST_F(DesktopCase, Check1sRuleTheSearchAndSwitchingIntoTheTopBand)
{
    std::deque<ChildProcess> clocks; // ended with the case
    for (const std::string title : {"game1", "game2", "other"}) {
        const std::string x = std::to_string(600 + 150 * static_cast<int>(clocks.size()));
        clocks.emplace_back(
            std::vector<std::string>{"xclock", "-title", title, "-geometry", "100x100+" + x + "+300"});
        ASSERT_EQ(Sh("xdotool search --sync --onlyvisible --name '^" + title + "$' >/dev/null"), 0);
    }
    auto w = Open("fz=60\nchgwnd=64\n"); // not 5 s above the threshold
    auto* check1 = w->findChild<QCheckBox*>("Check1");
    auto* search = w->findChild<QPushButton*>("Command1");
    const int compact = w->frameGeometry().height();
    // A click the rule refuses: its message, and the box left clear.
    auto refusedClick = [&] {
        std::string seen;
        AnswerMessageBox(&seen, QMessageBox::Ok, 600);
        Click(check1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return seen == "提示|窗口切换时间至少应比阀值大5秒|确定"; }, 3000)) << seen;
        EXPECT_FALSE(check1->isChecked());
    };
    refusedClick();
    EXPECT_FALSE(search->isVisible());

    w->State().SwitchInterval = 65;
    Click(check1); // the search part appears, the window grows to hold it
    EXPECT_GT(w->frameGeometry().height(), compact + 100);
    ASSERT_TRUE(search->isVisible());

    // The list as shown, one column read through the view row by row.
    auto shown = [&](int column) {
        const QAbstractItemModel* rows = w->findChild<QTableView*>("ListView1")->model();
        std::string cells;
        for (int r = 0; r < rows->rowCount(); ++r)
            cells += rows->index(r, column).data().toString().toStdString() + ";";
        return cells;
    };
    auto handle = [](const std::string& title) { return ShOut("xdotool search --name '^" + title + "$'"); };
    // A text from the main window's own caption lists it, twice: it is also in front.
    auto* box = w->findChild<QLineEdit*>("serch_proc");
    box->setText(QString::fromUtf8("Zarvexv4.0.1 鼠标位置"));
    Click(search);
    EXPECT_EQ(shown(1), std::to_string(w->winId()) + ";" + std::to_string(w->winId()) + ";");
    box->setText("game");
    Click(search);
    // Front to back: game2 was mapped after game1. The main window (in front) does not match.
    ASSERT_EQ(shown(2), "game2;game1;");
    EXPECT_EQ(shown(1), handle("game2") + ";" + handle("game1") + ";");

    // Row 1's window closes; switching starts, a switch every second tick then
    // the 3 s wait. The interval now breaks the rule: clearing Check1 shows the
    // message and leaves the search part visible.
    clocks[1].Kill(SIGKILL);
    w->State().SwitchInterval = 1;
    refusedClick();
    EXPECT_TRUE(search->isVisible());

    // The closed window is skipped without harm, its row still stamped.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Windows().At(0).shownAt.empty(); }, 6000)) << "row 1 first";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Windows().At(1).shownAt.empty(); }, 9000)) << "then row 2";
    QTest::qWait(300);
    const auto top =
        std::stoul(ShOut("xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*[ ,]//'"), nullptr, 16);
    EXPECT_EQ(top, w->Windows().At(1).handle) << "topmost in the window manager's stacking";
    auto inBand = [&] {
        return ShOut("xprop -id " + std::to_string(top) + " _NET_WM_STATE").find("_NET_WM_STATE_ABOVE") !=
               std::string::npos;
    };
    EXPECT_TRUE(inBand()) << "in the always-on-top band";
    // Every round of switching raises each window again: that must keep it in
    // the band, not take it out again.
    ASSERT_TRUE(platform::x11::X11Windows().RaiseTopmost(static_cast<platform::WindowHandle>(top)));
    QTest::qWait(300);
    EXPECT_TRUE(inBand()) << "still in the band after a second raise";
    EXPECT_TRUE(w->isVisible());
}
