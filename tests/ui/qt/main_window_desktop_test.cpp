// The main window on a real (virtual) X desktop: the caption follows the real
// pointer, Ctrl+W pressed while another program has the focus adds exactly
// one point with the colour under the pointer, closing asks first, and the
// tips counter counts start-ups down in config.ini.
#include "desktop/desktop_support.h"
#include "support/temp_folder.h"

#include "config/ini_file.h"
#include "ui/qt/info_windows.h"
#include "ui/qt/main_window.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace zarvex;
using namespace zarvex::test;
namespace fs = std::filesystem;

namespace {

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override { WriteConfig("0"); }
    void TearDown() override
    {
        if (other_.state() != QProcess::NotRunning) {
            other_.kill();
            other_.waitForFinished();
        }
    }
    void WriteConfig(const std::string& tips)
    {
        std::ofstream(folder_ / "config.ini") << "[con]\nfz=60\nchgwnd=70\ntips=" << tips << "\nemail=\ngame=\n";
    }
    std::unique_ptr<monitor::Form1> Open()
    {
        monitor::Form1Services services;
        services.screen = DesktopEnvironment::Platform().screen.get();
        services.hotKeys = DesktopEnvironment::Platform().hotKeys.get();
        auto w = std::make_unique<monitor::Form1>(services, folder_);
        w->show();
        PumpUntil([&] { return w->isVisible(); }, 2000);
        return w;
    }
    // Another program that takes the keyboard focus.
    void FocusAnotherProgram()
    {
        other_.start("xcalc", {});
        ASSERT_TRUE(other_.waitForStarted());
        ASSERT_EQ(Sh("xdotool search --sync --onlyvisible --class XCalc windowactivate --sync >/dev/null 2>&1"), 0);
        Pump(200);
    }

    TempFolder temp_{"desktop"};
    const fs::path folder_ = temp_.Path();
    QProcess other_;
};

} // namespace

TEST_F(DesktopTest, CaptionFollowsTheRealPointer)
{
    auto w = Open();
    for (const auto& [x, y] : {std::pair{123, 456}, std::pair{0, 0}, std::pair{1279, 799}}) {
        Sh("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
        const QString expected = QString::fromStdString(monitor::CursorCaption(x, y));
        EXPECT_TRUE(PumpUntil([&] { return w->windowTitle() == expected; }, 2000))
            << "caption is " << w->windowTitle().toStdString();
    }
    // The window manager sees the same title.
    EXPECT_EQ(ShOut("xdotool getwindowname " + std::to_string(w->winId())),
              monitor::CursorCaption(1279, 799));
}

TEST_F(DesktopTest, CtrlWOverAnotherProgramAddsExactlyOnePoint)
{
    auto w = Open();
    ASSERT_EQ(Sh("xsetroot -solid '#112233'"), 0);
    FocusAnotherProgram();
    // A spot of bare desktop, far from the windows.
    const int x = 1270, y = 790;
    Sh("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
    const std::string root = ShOut("xwininfo -root | sed -n 's/.*Window id: \\(0x[0-9a-f]*\\).*/\\1/p'");
    ASSERT_EQ(ShOut("xdotool getmouselocation --shell | sed -n 's/WINDOW=//p'"), std::to_string(std::stoul(root, nullptr, 16)))
        << "the pointer must rest on the desktop itself";
    Pump(300); // cursor tracking takes the spot

    ASSERT_EQ(Sh("xdotool key ctrl+w"), 0);
    ASSERT_TRUE(PumpUntil([&] { return w->Points().Count() >= 1; }, 3000));
    Pump(500);
    ASSERT_EQ(w->Points().Count(), 1) << "one press, one point";
    EXPECT_EQ(w->Points().At(0).x, x);
    EXPECT_EQ(w->Points().At(0).y, y);
    EXPECT_EQ(w->Points().At(0).lastColor, 0x00332211) << "#112233 with red in the low byte";

    // With NumLock on, and with CapsLock on: still exactly one point per press.
    for (const char* lock : {"Num_Lock", "Caps_Lock"}) {
        const int before = w->Points().Count();
        Sh(std::string("xdotool key ") + lock);
        Sh("xdotool key ctrl+w");
        EXPECT_TRUE(PumpUntil([&] { return w->Points().Count() > before; }, 3000)) << lock;
        Pump(500);
        EXPECT_EQ(w->Points().Count(), before + 1) << lock;
        Sh(std::string("xdotool key ") + lock);
    }
    EXPECT_EQ(w->Points().At(2).number, 3);

    // Plain W, or Ctrl+Shift+W, is not the hot key.
    Sh("xdotool key w ctrl+shift+w");
    Pump(500);
    EXPECT_EQ(w->Points().Count(), 3);
    Sh("xsetroot -solid black");
}

TEST_F(DesktopTest, ClosingAsksAndCancelKeepsTheWindow)
{
    auto w = Open();
    // Qt's own buttons speak Chinese too.
    std::string buttons;
    QTimer::singleShot(250, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            buttons = box->button(QMessageBox::Ok)->text().toStdString() + "|"
                + box->button(QMessageBox::Cancel)->text().toStdString();
    });
    std::string seen;
    AnswerMessageBox(&seen, QMessageBox::Cancel);
    w->close();
    Pump(200);
    EXPECT_EQ(seen, "提示|你真的要退出吗?");
    EXPECT_EQ(buttons, "确定|取消");
    EXPECT_TRUE(w->isVisible()) << "Cancel keeps the window";

    seen.clear();
    AnswerMessageBox(&seen, QMessageBox::Ok);
    w->close();
    Pump(200);
    EXPECT_FALSE(seen.empty());
    EXPECT_FALSE(w->isVisible()) << "OK closes it";
}

TEST_F(DesktopTest, TipsAppearWhileTheCounterLasts)
{
    WriteConfig("1");
    auto tipsShown = [](monitor::Form1& w) {
        auto* tips = w.findChild<monitor::InfoWindow*>("tips");
        return tips && tips->isVisible();
    };
    {
        auto w = Open();
        EXPECT_TRUE(tipsShown(*w));
        EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "tips"), "0");
    }
    const auto before = fs::last_write_time(folder_ / "config.ini");
    {
        auto w = Open();
        EXPECT_FALSE(tipsShown(*w));
        EXPECT_EQ(config::ReadIniValue(folder_ / "config.ini", "con", "tips"), "0");
    }
    EXPECT_EQ(fs::last_write_time(folder_ / "config.ini"), before) << "nothing written at 0";
}

TEST(DesktopScreen, PixelsOutsideEveryMonitorReadAsAllOnes)
{
    auto& screen = *DesktopEnvironment::Platform().screen;
    ASSERT_EQ(Sh("xsetroot -solid '#0a0b0c'"), 0);
    EXPECT_EQ(screen.PixelColor({-1, 10}), -1);
    EXPECT_EQ(screen.PixelColor({1280, 10}), -1);
    EXPECT_EQ(screen.PixelColor({1279, 799}), 0x000c0b0a);

    // Two monitors of different heights side by side leave a hole below the
    // shorter one: no pixel there, whatever the root holds.
    ASSERT_EQ(Sh("xrandr --setmonitor zleft 640/170x800/220+0+0 screen && "
                 "xrandr --setmonitor zright 640/170x400/110+640+0 none"), 0);
    EXPECT_EQ(screen.PixelColor({1000, 100}), 0x000c0b0a);
    EXPECT_EQ(screen.PixelColor({1000, 600}), -1);
    EXPECT_EQ(screen.PixelColor({100, 600}), 0x000c0b0a);
    Sh("xrandr --delmonitor zleft; xrandr --delmonitor zright");
    EXPECT_EQ(screen.PixelColor({1000, 600}), 0x000c0b0a);
    Sh("xsetroot -solid black");
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);
    return RUN_ALL_TESTS();
}
