#include "config/ini_file.h"
#include "monitor/desktop_notices.h"
#include "monitor/monitor_model.h"
#include "monitor/startup.h"

#include "support/fakes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace zarvex::monitor;
using zarvex::test::FakeScreen;
using zarvex::platform::PackColor;
namespace fs = std::filesystem;

TEST(MonitorPoints, NumberedFromTheCurrentPoint)
{
    MonitorTable table;
    MonitorState state;
    FakeScreen screen;
    screen.cursor = {640, 700};
    screen.Set(640, 700, PackColor(0x11, 0x22, 0x33));
    EXPECT_EQ(TrackCursor(screen, state), "Zarvexv4.0.1 鼠标位置：640，700");
    EXPECT_EQ(state.CurrentColor, 0x00332211);

    // Twice without moving: two rows, same position, numbers 1 and 2.
    ASSERT_EQ(AddMonitorPoint(table, state), AddResult::Added);
    ASSERT_EQ(AddMonitorPoint(table, state), AddResult::Added);
    ASSERT_EQ(table.Count(), 2);
    EXPECT_EQ(table.At(0).number, 1);
    EXPECT_EQ(table.At(1).number, 2);
    EXPECT_EQ(table.At(1).x, 640);
    EXPECT_EQ(table.At(1).group, "A");
    EXPECT_EQ(table.At(1).counter, 0);
    EXPECT_EQ(table.At(1).lastColor, 0x00332211);
    EXPECT_EQ(StatusText(table.At(1)), "");

    // While tracking is stopped (a run), the point stays frozen at the last tick.
    screen.cursor = {5, 5};
    ASSERT_EQ(AddMonitorPoint(table, state), AddResult::Added);
    EXPECT_EQ(table.At(2).x, 640);

    // Outside the screen: colour -1, negative coordinates in the caption.
    screen.cursor = {-20, -3};
    EXPECT_EQ(TrackCursor(screen, state), "Zarvexv4.0.1 鼠标位置：-20，-3");
    EXPECT_EQ(state.CurrentColor, -1);
    screen.cursor = {0, 0};
    EXPECT_EQ(TrackCursor(screen, state), "Zarvexv4.0.1 鼠标位置：0，0");

    // A screen that does not know the pointer: no reading, no caption.
    screen.knowsCursor = false;
    screen.cursor = {7, 7};
    EXPECT_EQ(TrackCursor(screen, state), "");
    EXPECT_EQ(state.CurrentX, 0);
    EXPECT_EQ(screen.pixelReads, 3);
}

TEST(MonitorPoints, TheTableHoldsAtMost32767)
{
    MonitorTable table;
    MonitorState state;
    for (int i = 0; i < kMaxPoints; ++i)
        ASSERT_EQ(AddMonitorPoint(table, state), AddResult::Added);
    EXPECT_EQ(table.At(kMaxPoints - 1).number, 32767);
    EXPECT_EQ(AddMonitorPoint(table, state), AddResult::TableFull);
    EXPECT_EQ(table.Count(), kMaxPoints);
}

namespace {

struct RecordingView : StartupView {
    std::vector<std::string> calls;
    void SelectNoChangeMode() override { calls.push_back("no-change"); }
    void ApplyCompactLayout() override { calls.push_back("compact"); }
    void SetEmailText(const std::string& t) override { calls.push_back("email:" + t); }
    void SetSearchText(const std::string& t) override { calls.push_back("game:" + t); }
    void ShowTipsWindow() override { calls.push_back("tips"); }
    void PrepareWindowList() override { calls.push_back("window-list"); }
    void PreparePointTable() override { calls.push_back("point-table"); }
};

class StartupTest : public ::testing::Test {
protected:
    zarvex::test::TempFolder dir_{"startup"};
    const fs::path file_ = dir_ / "config.ini";
};

} // namespace

TEST_F(StartupTest, StepsInOrderAndTipsCountDown)
{
    std::ofstream(file_) << "[con]\nfz=45\nchgwnd=50\ntips=2\nemail=me@163.com\ngame=game\n";
    for (int run = 0; run < 3; ++run) {
        MonitorState state;
        state.AlertRaised = true;
        state.LocalAlertOn = false;
        RecordingView view;
        StartupServices services;
        services.checkForUpdate = [&] {
            view.calls.push_back("update");
            EXPECT_FALSE(state.AlertRaised) << "flags are set before the update check";
            EXPECT_TRUE(state.LocalAlertOn);
        };
        services.registerHotKey = [&] { view.calls.push_back("hotkey"); };
        const auto written = fs::last_write_time(file_);
        RunStartup(state, file_, view, services);
        if (run == 2)
            EXPECT_EQ(fs::last_write_time(file_), written) << "nothing written at 0";

        std::vector<std::string> expected = {"update", "no-change", "compact", "email:me@163.com", "game:game"};
        if (run < 2)
            expected.push_back("tips");
        for (const char* s : {"hotkey", "window-list", "point-table"})
            expected.push_back(s);
        EXPECT_EQ(view.calls, expected) << "start-up " << run + 1;
        EXPECT_EQ(state.Threshold, 45);
        EXPECT_EQ(state.SwitchInterval, 50);
        EXPECT_EQ(zarvex::config::ReadIniValue(file_, "con", "tips"), run == 0 ? "1" : "0");
    }
}

TEST_F(StartupTest, MissingFileGivesDefaultsAndIsNotCreated)
{
    MonitorState state;
    RecordingView view;
    RunStartup(state, file_, view, {});
    EXPECT_EQ(state.Threshold, 60);
    EXPECT_EQ(state.SwitchInterval, 70);
    EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "tips"), 0);
    EXPECT_FALSE(fs::exists(file_));
}

TEST(DesktopNotices, OneLineForEachMissingAbility)
{
    using zarvex::monitor::DesktopAbilities;
    const std::string bind = "请在桌面的键盘设置里添加快捷键 Ctrl+W，命令填：/opt/z/zarvex --mark";
    const std::string onTop = "这个桌面上切换到的窗口只是被带到前面，不能一直保持在最上层。";
    const struct {
        DesktopAbilities abilities;
        std::vector<std::string> expected;
    } cases[] = {
        {{true, true, true}, {}},
        {{false, true, true}, {"这个桌面没有全局快捷键服务，CTRL+W 不能直接设置监控点。" + bind}},
        {{true, false, false}, {zarvex::monitor::kNoWindowSwitching}}, // no switching at all, no word on the band
        {{true, true, false}, {onTop}},
        {{false, false, true}, {"这个桌面没有全局快捷键服务，CTRL+W 不能直接设置监控点。" + bind,
                                zarvex::monitor::kNoWindowSwitching}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zarvex::monitor::DesktopNotices(c.abilities, "/opt/z/zarvex --mark"), c.expected);
}
