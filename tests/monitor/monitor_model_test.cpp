#include "config/ini_file.h"
#include "monitor/desktop_notices.h"
#include "monitor/monitor_model.h"
#include "monitor/startup.h"

#include "support/fakes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace zarvex::monitor;
namespace fs = std::filesystem;

TEST(MonitorPoints, NumberedFromTheCurrentPoint)
{
    MonitorTable table;
    MonitorState state;
    zarvex::test::FakeScreen screen;
    screen.cursor = {640, -3};
    screen.pixels[{640, -3}] = zarvex::platform::PackColor(0x11, 0x22, 0x33);
    EXPECT_EQ(TrackCursor(screen, state), "Zarvexv4.0.1 鼠标位置：640，-3");

    // Twice without moving: two rows, same position (the numbers: at the table's end).
    ASSERT_EQ(AddMonitorPoint(table, state), AddResult::Added);
    ASSERT_EQ(AddMonitorPoint(table, state), AddResult::Added);
    ASSERT_EQ(table.Count(), 2);
    EXPECT_EQ(std::tuple(table.At(1).x, table.At(1).y, table.At(1).group), std::tuple(640, -3, "A"));
    EXPECT_EQ(table.At(1).lastColor, 0x00332211) << "the colour read at the cursor";

    // While tracking is stopped (a run), the point stays frozen at the last tick.
    screen.cursor = {5, 5};
    ASSERT_EQ(AddMonitorPoint(table, state), AddResult::Added);
    EXPECT_EQ(table.At(2).x, 640);

    // A screen that does not know the pointer: no reading, no caption.
    screen.knowsCursor = false;
    EXPECT_EQ(TrackCursor(screen, state), "");
    EXPECT_EQ(state.CurrentX, 640);
    EXPECT_EQ(screen.pixelReads, 1);

    while (table.Count() < kMaxPoints)
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

} // namespace

// The tips window shows while the file's count is above 0, counting it down;
// at 0 the file is not written (nor created when missing: same path).
TEST(Startup, StepsInOrderAndTipsCountDown)
{
    const zarvex::test::TempFolder dir("startup");
    const fs::path file = dir / "config.ini";
    std::ofstream(file) << "[con]\nfz=45\nchgwnd=50\ntips=2\nemail=me@163.com\ngame=game\n";
    for (int run = 0; run < 3; ++run) {
        MonitorState state{.LocalAlertOn = false, .AlertRaised = true};
        RecordingView view;
        StartupServices services;
        services.checkForUpdate = [&] {
            view.calls.push_back("update");
            EXPECT_FALSE(state.AlertRaised) << "flags are set before the update check";
            EXPECT_TRUE(state.LocalAlertOn);
        };
        services.registerHotKey = [&] { view.calls.push_back("hotkey"); };
        const auto written = fs::last_write_time(file);
        RunStartup(state, file, view, services);
        if (run == 2)
            EXPECT_EQ(fs::last_write_time(file), written) << "nothing written at 0";

        std::vector<std::string> expected = {"update",     "no-change", "compact",     "email:me@163.com", "game:game",
                                             "tips",       "hotkey",    "window-list", "point-table"};
        if (run == 2)
            expected.erase(expected.begin() + 5); // no tips
        EXPECT_EQ(view.calls, expected) << "start-up " << run + 1;
        EXPECT_EQ(state.Threshold, 45);
        EXPECT_EQ(state.SwitchInterval, 50);
        EXPECT_EQ(zarvex::config::ReadIniValue(file, "con", "tips"), run == 0 ? "1" : "0");
    }
}

TEST(DesktopNotices, OneLineForEachMissingAbility)
{
    const std::string noKeys = "这个桌面没有全局快捷键服务，CTRL+W 不能直接设置监控点。"
                               "请在桌面的键盘设置里添加快捷键 Ctrl+W，命令填：/opt/z/zarvex --mark";
    const struct {
        DesktopAbilities abilities;
        std::vector<std::string> expected;
    } cases[] = {
        {{true, true, true}, {}},
        {{false, true, true}, {noKeys}},
        {{true, false, false}, {kNoWindowSwitching}}, // no switching at all, no word on the band
        {{true, true, false}, {"这个桌面上切换到的窗口只是被带到前面，不能一直保持在最上层。"}},
        {{false, false, true}, {noKeys, kNoWindowSwitching}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopNotices(c.abilities, "/opt/z/zarvex --mark"), c.expected);
}
