// Check1's rule, window search and multi-window switching on a real (virtual)
// desktop, checked through the window manager's own records.
#include "desktop/desktop_support.h"
#include "support/child_process.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>

#include <deque>

using namespace zarvex;
using namespace zarvex::test;

namespace {

class WindowsTest : public DesktopCase {
protected:
    void StartClock(const std::string& title, int x)
    {
        clocks_.emplace_back(
            std::vector<std::string>{"xclock", "-title", title, "-geometry", "100x100+" + std::to_string(x) + "+300"});
        ASSERT_EQ(Sh("xdotool search --sync --onlyvisible --name '^" + title + "$' >/dev/null"), 0);
    }
    std::deque<ChildProcess> clocks_; // ended with the case
};

// The topmost window in the window manager's stacking.
unsigned long Top()
{
    return std::stoul(ShOut("xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*[ ,]//'"), nullptr, 16);
}

} // namespace

TEST_F(WindowsTest, Check1sRuleTheSearchAndSwitchingIntoTheTopBand)
{
    StartClock("game1", 600);
    StartClock("game2", 750);
    StartClock("other", 900);
    monitor::Form1Services services;
    services.checkForUpdate = [] {};
    auto w = Open("fz=60\nchgwnd=64\n", services); // not 5 s above the threshold
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

    // The list as shown, one column read through the view row by row.
    auto shown = [&](int column) {
        const QAbstractItemModel* rows = w->findChild<QTableView*>("ListView1")->model();
        std::string cells;
        for (int r = 0; r < rows->rowCount(); ++r)
            cells += rows->index(r, column).data().toString().toStdString() + ";";
        return cells;
    };
    auto handle = [](const char* title) { return ShOut("xdotool search --name '^" + std::string(title) + "$'"); };
    // A text from the main window's own caption lists it, twice: it is also in front.
    auto* box = w->findChild<QLineEdit*>("serch_proc");
    box->setText(QString::fromUtf8("Zarvexv4.0.1 鼠标位置"));
    Click(search);
    EXPECT_EQ(shown(1), std::to_string(w->winId()) + ";" + std::to_string(w->winId()) + ";");
    box->clear();
    Click(box);
    Sh("xdotool type game");
    ASSERT_TRUE(PumpUntil([&] { return box->text() == "game"; }, 3000));
    Click(search);
    // Front to back: game2 was mapped after game1. The main window (in front) does not match.
    ASSERT_EQ(shown(2), "game2;game1;");
    EXPECT_EQ(shown(1), handle("game2") + ";" + handle("game1") + ";");

    // Row 1's window closes; switching starts, a switch every second tick then
    // the 3 s wait. The interval now breaks the rule: clearing Check1 shows the
    // message and leaves the search part visible.
    clocks_[1].Kill(SIGKILL);
    w->State().SwitchInterval = 1;
    seen.clear();
    AnswerMessageBox(&seen, QMessageBox::Ok, 600);
    Click(check1);
    Pump(600);
    EXPECT_EQ(seen, refusal);
    EXPECT_FALSE(check1->isChecked());
    EXPECT_TRUE(search->isVisible());

    // The closed window is skipped without harm, its row still stamped.
    ASSERT_TRUE(PumpUntil([&] { return !w->Windows().At(0).shownAt.empty(); }, 6000)) << "row 1 first";
    ASSERT_TRUE(PumpUntil([&] { return !w->Windows().At(1).shownAt.empty(); }, 9000)) << "then row 2";
    Pump(300);
    EXPECT_EQ(Top(), w->Windows().At(1).handle);
    EXPECT_NE(ShOut("xprop -id " + std::to_string(Top()) + " _NET_WM_STATE").find("_NET_WM_STATE_ABOVE"),
              std::string::npos) << "in the always-on-top band";
    EXPECT_TRUE(w->isVisible());
}
