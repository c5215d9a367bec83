#include "config/ini_file.h"
#include "config/settings_window_logic.h"
#include "windows/window_search.h"

#include "support/fakes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace zarvex;
using namespace zarvex::windows;
using test::FakeWindows;

namespace {

struct View : SwitchView {
    std::vector<int32_t> ticks;
    std::vector<int> waits;
    std::function<void()> duringWait;
    void ShowSwitchTicks(int32_t t) override { ticks.push_back(t); }
    void HeldWait(int ms) override
    {
        waits.push_back(ms);
        if (duringWait)
            duringWait();
    }
    std::string Now() override { return "2026/12/6 20:00:00"; }
};

} // namespace

TEST(WindowSearch, TitlesAreCutAt1023BytesOnACharacterBoundary)
{
    std::string chinese;
    for (int i = 0; i < 400; ++i)
        chinese += "窗"; // 3 bytes each
    EXPECT_EQ(TrimmedTitle(chinese).size(), 1023u);
    EXPECT_EQ(TrimmedTitle("x" + chinese).size(), 1021u) << "never half a character";
    EXPECT_EQ(TrimmedTitle(" \tgame "), "\tgame") << "only spaces are trimmed";
}

// The search lists the matching titles front to back, trimmed; switching
// brings the listed windows to the front in turn, resetting the counters.
TEST(WindowList, SearchedFrontToBackThenCycledThroughResettingCounters)
{
    FakeWindows desktop;
    desktop.stack = {{11, "Zarvexv4.0.1 鼠标位置：1，2"}, {12, "  game2  "}, {13, "   "}, {14, "Game3"}, {15, "other"},
                     {16, "game1"}, {17, ""}, {18, std::string("game4\0hidden", 12)}};
    desktop.foreground = 11;
    WindowList list;
    SearchState search;
    auto titles = [&] {
        std::vector<std::string> out;
        for (int i = 0; i < list.Count(); ++i) {
            EXPECT_EQ(list.At(i).entryNo, i + 1);
            out.push_back(list.At(i).title);
        }
        return out;
    };
    // The window in front matches: listed a second time at the end.
    WindowSearch(list, search, desktop, "Zarvexv4.0.1");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Zarvexv4.0.1 鼠标位置：1，2", "Zarvexv4.0.1 鼠标位置：1，2"}));
    // An empty text lists every window with a non-blank title.
    WindowSearch(list, search, desktop, "");
    EXPECT_EQ(list.Count(), 6 + 1);
    WindowSearch(list, search, desktop, "nothing like it");
    EXPECT_EQ(list.Count(), 0);

    monitor::MonitorState state{.SwitchInterval = 1};
    monitor::MonitorTable table;
    monitor::AddMonitorPoint(table, state);
    test::FakeTimer sampling;
    View view;
    SwitchState sw;
    auto tick = [&] { SwitchTick(sw, list, state, table, sampling, desktop, view); };

    // With fewer than two windows the ticks count on, and nothing switches.
    WindowSearch(list, search, desktop, "game1");
    for (int t = 0; t < 4; ++t)
        tick();
    EXPECT_EQ(view.ticks, (std::vector<int32_t>{1, 2, 1, 2}));
    EXPECT_TRUE(desktop.raised.empty());
    EXPECT_FALSE(sampling.running);

    WindowSearch(list, search, desktop, "game");
    EXPECT_EQ(titles(), (std::vector<std::string>{"game2", "game1", "game4"})) << "case-sensitive, blanks skipped";
    view.duringWait = [&] {
        EXPECT_FALSE(sampling.running) << "sampling pauses for the switch";
        EXPECT_EQ(table.At(0).counter, 0);
    };
    std::vector<platform::WindowHandle> order;
    for (int round = 0; round < 4; ++round) {
        table.UpdateAll([](monitor::MonitorPoint& p) { p.counter = 4; });
        tick(); // 1: nothing
        EXPECT_EQ(table.At(0).counter, 4);
        tick(); // 2 > interval 1: switch
        EXPECT_TRUE(sampling.running) << "sampling on afterwards, even with no run before";
        order.push_back(desktop.raised.back());
    }
    EXPECT_EQ(order, (std::vector<platform::WindowHandle>{12, 16, 18, 12}));
    EXPECT_EQ(view.waits, (std::vector<int>{3000, 3000, 3000, 3000}));
    EXPECT_EQ(list.At(0).shownAt, "2026/12/6 20:00:00");

    // A new search with fewer rows than the position: the next switch goes to row 1.
    sw.CurrentWindowIndex = 3;
    WindowSearch(list, search, desktop, "game1");
    list.Append({2, 12, "game2", ""});
    tick();
    tick();
    EXPECT_EQ(desktop.raised.back(), 16u);

    // A window closed meanwhile: skipped without harm, the switch goes on.
    desktop.stack[0].open = false; // 16, now in front
    const size_t raisedBefore = desktop.raised.size();
    sw.CurrentWindowIndex = 0;
    tick();
    tick();
    EXPECT_EQ(desktop.raised.size(), raisedBefore);
    EXPECT_EQ(view.waits.size(), 6u);
}

TEST(WindowSwitching, TheRuleWantsFiveSecondsAboveTheThreshold)
{
    // No 16-bit overflow at the edges.
    const struct {
        int16_t threshold, interval;
        bool holds;
    } cases[] = {{60, 64, false}, {60, 65, true}, {-32768, -32763, true}, {32767, 32767, false}};
    for (const auto& c : cases)
        EXPECT_EQ(SwitchRuleHolds({.Threshold = c.threshold, .SwitchInterval = c.interval}), c.holds)
            << c.threshold << " " << c.interval;
}

TEST(SettingsWindow, ClosingWritesBothKeysAsTypedOrRefusesAndWritesNothing)
{
    const test::TempFolder dir("settings");
    const auto file = dir / "config.ini";
    std::ofstream(file) << "[con]\nfz=60\nchgwnd=70\nemail=a@163.com\n";
    const struct {
        const char *chg, *fz;
        std::optional<std::pair<int16_t, int16_t>> saved; // interval and threshold; none: refused
    } cases[] = {
        {" 045", "1000", std::pair{45, 1000}}, // read whole, not cut to three characters
        {"2.5", "-3.5", std::pair{2, -4}},
        {"abc", "10", std::nullopt}, {"10", "", std::nullopt}, {"40000", "10", std::nullopt}, {"10", "1e2", std::nullopt},
    };
    std::string lastChg = "70";
    for (const auto& c : cases) {
        const auto saved = config::CloseSettings(file, c.chg, c.fz, {0, 0});
        ASSERT_EQ(saved.has_value(), c.saved.has_value()) << c.chg << " / " << c.fz;
        if (saved) {
            EXPECT_EQ(std::pair(saved->switchInterval, saved->threshold), *c.saved);
            lastChg = c.chg;
        }
        EXPECT_EQ(config::ReadIniValue(file, "con", "chgwnd"), lastChg.substr(lastChg.find_first_not_of(' ')))
            << "written as typed, or not at all";
    }
    EXPECT_EQ(config::ReadIniValue(file, "con", "email"), "a@163.com");
}
