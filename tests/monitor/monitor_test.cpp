// The monitor: points taken at the cursor, the start-up, and a monitoring run
// driven by hand (timers and the window are fakes, the screen a fake whose
// pixels the test sets between passes).
#include "config/ini_file.h"
#include "monitor/desktop_notices.h"
#include "monitor/monitor_model.h"
#include "monitor/run_actions.h"
#include "monitor/startup.h"

#include "support/fakes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace zarvex::monitor;
namespace fs = std::filesystem;

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

struct FakeWindow : RunWindow {
    std::string email = "me@163.com", search = "game", button = kStartCaption, caption;
    AlertMode mode = AlertMode::NoChange;
    std::vector<std::string> messages;
    int starts = 0;
    std::function<void()> duringMessage; // what happens while a message box is open
    std::string EmailText() const override { return email; }
    std::string SearchText() const override { return search; }
    std::string StartStopCaption() const override { return button; }
    void SetStartStopCaption(const std::string& c) override { button = c; }
    void SetWindowCaption(const std::string& c) override { caption = c; }
    AlertMode Mode() const override { return mode; }
    void RunStarted() override { ++starts; }
    void ShowMessage(const std::string& text) override
    {
        messages.push_back(text);
        if (duringMessage)
            duringMessage();
    }
};

class RunTest : public ::testing::Test {
protected:
    void AddPoint(int32_t color) // at {1, 1}
    {
        state.CurrentColor = color;
        AddMonitorPoint(table, state);
    }
    std::string Saved(const char* key) { return zarvex::config::ReadIniValue(dir_ / "config.ini", "con", key); }

    zarvex::test::TempFolder dir_{"run"};
    MonitorState state{.CurrentX = 1, .CurrentY = 1, .Threshold = 5};
    MonitorTable table;
    FakeWindow window;
    zarvex::test::FakeTimer timer1{true}, timer2{true}, timer3; // cursor tracking and alerts run when idle
    zarvex::test::FakeScreen screen;
    std::vector<std::string> notified;
    RunContext run{state, table, window, timer1, timer2, timer3, screen,
                   [this](int, const std::string& a) { notified.push_back(a); }, dir_ / "config.ini"};
};

constexpr int32_t kRed = 0x0000FF, kBlue = 0xFF0000, kUnreadable = zarvex::platform::kColorOutside;

} // namespace

TEST(MonitorPoints, NumberedFromTheCurrentPoint)
{
    MonitorTable table;
    MonitorState state;
    zarvex::test::FakeScreen screen;
    screen.cursor = {640, -3};
    screen.pixels[{640, -3}] = zarvex::platform::PackColor(0x11, 0x22, 0x33);
    EXPECT_EQ(TrackCursor(screen, state), "Zarvexv4.0.1 鼠标位置：640，-3");

    // Twice without moving: two rows (the second read below), same position.
    ASSERT_EQ(AddMonitorPoint(table, state), AddResult::Added);
    ASSERT_EQ(AddMonitorPoint(table, state), AddResult::Added);
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

// One point, first read red, then sampled once per pass: "N" or "C" is the
// mode during the pass, "R", "B" the colour read, "X" a pixel that cannot be
// read; the counters after each pass. The threshold is 5.
TEST_F(RunTest, CounterRules)
{
    const struct {
        const char* what;
        const char* passes;
        const char* counters;
    } cases[] = {
        {"no change: counts up to one above the threshold, a change resets",
         "NR NR NR NR NR NR NR NR NB NB", "1 2 3 4 5 6 6 6 0 1"},
        {"change: 1 for one pass after each change", "CB CR CB CB CB", "1 1 1 0 0"},
        {"no change: alternating colours never count", "NB NR NB NR", "0 0 0 0"},
        {"unreadable: neither a change nor the same colour", "CX CX NX NX NR CX NX CB", "0 0 0 0 1 1 1 1"},
        {"the new mode's rules apply to the old counter", "NR NR NR CR CB NB", "1 2 3 0 1 2"},
    };
    int n = 0; // passes in all
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        table.Clear();
        AddPoint(kRed);
        std::istringstream passes(c.passes);
        std::string seen;
        for (std::string pass; passes >> pass; ++n) {
            window.mode = pass[0] == 'C' ? AlertMode::Change : AlertMode::NoChange;
            screen.pixels[{1, 1}] = pass[1] == 'R' ? kRed : pass[1] == 'B' ? kBlue : kUnreadable;
            SamplingPass(run);
            seen += (seen.empty() ? "" : " ") + CounterText(table.At(0).counter);
        }
        EXPECT_EQ(seen, c.counters);
    }
    EXPECT_EQ(CounterText(32768), "32768") << "one above the highest threshold";
    EXPECT_EQ(screen.batchReads, n) << "one screen reading per pass";
    // The pass holds its own timer and starts it again at its end.
    EXPECT_EQ(timer3.stops, n);
    EXPECT_TRUE(timer3.running);
}

// The click checks the address, then the points, then whether pixels can be
// read; only a click that starts or stops saves the address and search text.
TEST_F(RunTest, StartStopChecksTheAddressThenThePointsThenSaves)
{
    // The suffix alone passes the address check; the points are checked next.
    for (const char* address : {"me@163.COM", "63.com", "", "me@163.com ", "me@126.com", "@163.com"}) {
        window.email = address;
        StartStopAction(run);
        EXPECT_EQ(window.messages.back(), *address == '@' ? kNoPointsMessage : kAddressMessage) << address;
    }
    EXPECT_FALSE(fs::exists(dir_ / "config.ini")) << "a failing click writes nothing";

    AddPoint(0);
    screen.unavailable = "no capture";
    StartStopAction(run);
    EXPECT_EQ(window.messages.back(), "no capture");
    EXPECT_EQ(window.button, kStartCaption);

    screen.unavailable.clear();
    window.email = "a+b&c@163.com";
    window.search = "游戏";
    const size_t messages = window.messages.size();
    StartStopAction(run);
    EXPECT_EQ(window.messages.size(), messages);
    EXPECT_EQ(window.button, kStopCaption);
    EXPECT_EQ(window.caption, "Zarvexv4.0.1");
    EXPECT_FALSE(timer1.running);
    EXPECT_TRUE(timer3.running);
    EXPECT_EQ(Saved("email"), "a+b&c@163.com");
    EXPECT_EQ(Saved("game"), "游戏");

    // During a run an emptied address cannot stop it.
    window.email = "";
    StartStopAction(run);
    EXPECT_EQ(window.button, kStopCaption);

    window.email = "x@163.com";
    StartStopAction(run);
    EXPECT_EQ(window.button, kStartCaption);
    EXPECT_TRUE(timer1.running);
    EXPECT_FALSE(timer3.running);
    EXPECT_EQ(Saved("email"), "x@163.com");
}

// Whether an alert pass alerts for a point, by the mode, the counter the
// sampling left and whether the point has alerted before. The threshold is 5.
TEST_F(RunTest, AlertRules)
{
    const struct {
        AlertMode mode;
        double counter;
        bool alerted, alerts;
    } cases[] = {
        {AlertMode::NoChange, 4, false, false}, // 4 of 5 seconds
        {AlertMode::NoChange, 5, false, true},
        {AlertMode::NoChange, 6, true, false},  // a point alerts once
        {AlertMode::Change, 0, false, false},
        {AlertMode::Change, 1, false, true},
        {AlertMode::Change, 3, false, true},    // a no-change count, then the mode changed
        {AlertMode::Change, 1, true, false},
    };
    for (const auto& c : cases) {
        table.Clear();
        notified.clear();
        AddPoint(kRed);
        table.Update(0, [&](MonitorPoint& p) {
            p.counter = c.counter;
            p.alerted = c.alerted;
        });
        window.mode = c.mode;
        AlertPass(run);
        EXPECT_EQ(notified.size(), c.alerts ? 1u : 0u) << c.counter << (c.alerted ? " alerted" : "");
    }
}

// Each alert notifies, marks its point and clicks Start/Stop once: two in one
// pass toggle the run twice, and an address the click refuses has still been
// notified.
TEST_F(RunTest, EachAlertNotifiesMarksThePointAndTogglesTheRun)
{
    state.Threshold = 0;
    AddPoint(kRed);
    StartStopAction(run);
    AlertPass(run);
    EXPECT_EQ(notified, (std::vector<std::string>{"me@163.com"}));
    EXPECT_TRUE(state.AlertRaised);
    EXPECT_EQ(StatusText(table.At(0)), "已提醒");
    EXPECT_EQ(window.button, kStartCaption) << "the alert stops the run";
    EXPECT_TRUE(timer2.running) << "the alert pass restarts its timer";

    AddPoint(kRed);
    AddPoint(kRed);
    AlertPass(run);
    EXPECT_EQ(notified.size(), 3u);
    EXPECT_EQ(window.starts, 2);
    EXPECT_EQ(window.button, kStartCaption) << "started and stopped again";

    AddPoint(kRed);
    window.email = "typo@163.cm";
    // While the message box is open the alert pass must not run again.
    window.duringMessage = [&] { EXPECT_FALSE(timer2.running); };
    AlertPass(run);
    EXPECT_EQ(notified.back(), "typo@163.cm");
    EXPECT_EQ(window.messages.back(), kAddressMessage);
}
