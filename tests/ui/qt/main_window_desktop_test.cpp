// The main window on a real (virtual) X desktop: the caption follows the real
// pointer, Ctrl+W pressed while another program has the focus adds exactly
// one point with the colour under the pointer, closing asks first (and goes
// through the settings window's rule); the tips window shows while its
// counter lasts.
#include "desktop/desktop_support.h"
#include "support/temp_folder.h"

#include "config/ini_file.h"
#include "ui/qt/info_windows.h"
#include "ui/qt/settings_window.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>

#include <fstream>

using namespace zarvex;
using namespace zarvex::test;
namespace fs = std::filesystem;

namespace {

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override { WriteConfig("0"); }
    void WriteConfig(const std::string& tips)
    {
        std::ofstream(folder_ / "config.ini") << "[con]\nfz=60\nchgwnd=70\ntips=" << tips << "\nemail=\ngame=\n";
    }

    TempFolder temp_{"desktop"};
    const fs::path folder_ = temp_.Path();
};

} // namespace

TEST_F(DesktopTest, TipsShowWhileCountedAndCtrlWOverAnotherProgramAddsExactlyOnePoint)
{
    WriteConfig("1");
    auto w = OpenMainWindow(folder_);
    auto* tips = w->findChild<monitor::InfoWindow*>("tips");
    EXPECT_TRUE(tips && tips->isVisible());
    EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "tips"), "0");

    ASSERT_EQ(Sh("xsetroot -solid '#112233'"), 0);
    QProcess other; // another program that takes the keyboard focus
    other.start("xcalc", {});
    ASSERT_TRUE(other.waitForStarted());
    ASSERT_EQ(Sh("xdotool search --sync --onlyvisible --class XCalc windowactivate --sync >/dev/null 2>&1"), 0);
    // A spot of bare desktop, far from the windows.
    const int x = 1270, y = 790;
    MarkPoint(*w, x, y);
    EXPECT_EQ(w->windowTitle().toStdString(), monitor::CursorCaption(x, y)) << "the caption follows the pointer";
    Pump(500);
    ASSERT_EQ(w->Points().Count(), 1) << "one press, one point";
    EXPECT_EQ(w->Points().At(0).x, x);
    EXPECT_EQ(w->Points().At(0).y, y);
    EXPECT_EQ(w->Points().At(0).lastColor, 0x00332211) << "#112233 with red in the low byte";

    // With NumLock on, and with CapsLock on: still exactly one point per press.
    for (const char* lock : {"Num_Lock", "Caps_Lock"}) {
        const int before = w->Points().Count();
        Sh(std::string("xdotool key ") + lock);
        MarkPoint(*w, x, y, before + 1);
        Pump(500);
        EXPECT_EQ(w->Points().Count(), before + 1) << lock;
        Sh(std::string("xdotool key ") + lock);
    }
    // Plain W, or Ctrl+Shift+W, is not the hot key.
    Sh("xdotool key w ctrl+shift+w");
    Pump(500);
    EXPECT_EQ(w->Points().Count(), 3);
    Sh("xsetroot -solid black");
    other.kill();
    other.waitForFinished();
}

TEST_F(DesktopTest, ClosingAsksAndABadSettingKeepsBothWindows)
{
    auto w = OpenMainWindow(folder_);
    // Qt's own buttons speak Chinese too.
    std::string buttons, seen;
    QTimer::singleShot(250, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            buttons = box->button(QMessageBox::Ok)->text().toStdString() + "|"
                + box->button(QMessageBox::Cancel)->text().toStdString();
    });
    AnswerMessageBox(&seen, QMessageBox::Cancel);
    w->close();
    Pump(200);
    EXPECT_EQ(seen, "提示|你真的要退出吗?");
    EXPECT_EQ(buttons, "确定|取消");
    EXPECT_TRUE(w->isVisible()) << "Cancel keeps the window";

    // Exit confirmed with a bad number in the settings window: its message,
    // and both windows stay.
    w->OpenSettings();
    auto* form3 = w->findChild<config::Form3*>("Form3");
    form3->findChild<QLineEdit*>("T_chg")->setText("80");
    form3->findChild<QLineEdit*>("T_fz")->setText("x");
    std::string refusal;
    AnswerMessageBox(&seen, QMessageBox::Ok);
    AnswerMessageBox(&refusal, QMessageBox::Ok, 900);
    w->close();
    Pump(300);
    EXPECT_EQ(refusal, "提示|窗口切换间隔和阀值必须是-32768到32767之间的整数");
    EXPECT_TRUE(w->isVisible() && form3->isVisible());
    // Mended: the exit saves the numbers and closes.
    form3->findChild<QLineEdit*>("T_fz")->setText("7");
    AnswerMessageBox(&seen, QMessageBox::Ok);
    w->close();
    Pump(300);
    EXPECT_FALSE(w->isVisible()) << "OK closes it";
    EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "chgwnd"), "80");
    EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "fz"), "7");
}
