// A monitoring run driven by hand: timers and the window are fakes, the
// screen is a fake whose pixels the test sets between passes.
#include "config/ini_file.h"
#include "monitor/run_actions.h"

#include "support/fakes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace zarvex::monitor;
namespace fs = std::filesystem;

namespace {

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
    void AddPoint(int x, int y, int32_t color)
    {
        state.CurrentX = x;
        state.CurrentY = y;
        state.CurrentColor = color;
        AddMonitorPoint(table, state);
    }
    std::string Saved(const char* key) { return zarvex::config::ReadIniValue(dir_ / "config.ini", "con", key); }

    zarvex::test::TempFolder dir_{"run"};
    MonitorState state{.Threshold = 5};
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        table.Clear();
        screen.batchReads = 0;
        timer3.stops = 0;
        AddPoint(1, 1, kRed);
        std::istringstream passes(c.passes);
        std::string pass, seen;
        int n = 0;
        while (passes >> pass) {
            window.mode = pass[0] == 'C' ? AlertMode::Change : AlertMode::NoChange;
            screen.pixels[{1, 1}] = pass[1] == 'R' ? kRed : pass[1] == 'B' ? kBlue : kUnreadable;
            SamplingPass(run);
            seen += (n++ ? " " : "") + CounterText(table.At(0).counter);
        }
        EXPECT_EQ(seen, c.counters);
        EXPECT_EQ(screen.batchReads, n) << "one screen reading per pass";
        // The pass holds its own timer and starts it again at its end.
        EXPECT_EQ(timer3.stops, n);
        EXPECT_TRUE(timer3.running);
    }
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

    AddPoint(1, 1, 0);
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
        AddPoint(1, 1, kRed);
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
    AddPoint(6, 6, kRed);
    StartStopAction(run);
    AlertPass(run);
    EXPECT_EQ(notified, (std::vector<std::string>{"me@163.com"}));
    EXPECT_TRUE(state.AlertRaised);
    EXPECT_EQ(StatusText(table.At(0)), "已提醒");
    EXPECT_EQ(window.button, kStartCaption) << "the alert stops the run";
    EXPECT_TRUE(timer2.running) << "the alert pass restarts its timer";

    AddPoint(7, 7, kRed);
    AddPoint(8, 8, kRed);
    AlertPass(run);
    EXPECT_EQ(notified.size(), 3u);
    EXPECT_EQ(window.starts, 2);
    EXPECT_EQ(window.button, kStartCaption) << "started and stopped again";

    AddPoint(9, 9, kRed);
    window.email = "typo@163.cm";
    // While the message box is open the alert pass must not run again.
    window.duringMessage = [&] { EXPECT_FALSE(timer2.running); };
    AlertPass(run);
    EXPECT_EQ(notified.back(), "typo@163.cm");
    EXPECT_EQ(window.messages.back(), kAddressMessage);
}
