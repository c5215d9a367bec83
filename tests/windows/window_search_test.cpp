#include "config/ini_file.h"
#include "config/settings_window_logic.h"
#include "platform/fake/fake_platform.h"
#include "windows/window_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace zarvex;
using namespace zarvex::windows;
using platform::FakeWindows;

namespace {

std::vector<std::string> Titles(const WindowList& list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(list.At(i).entryNo, i + 1);
        out.push_back(list.At(i).title);
    }
    return out;
}

FakeWindows Desktop()
{
    FakeWindows w;
    w.stack = {{11, "Zarvexv4.0.1 鼠标位置：1，2"}, {12, "  game2  "}, {13, "   "}, {14, "Game3"}, {15, "other"},
               {16, "game1"}, {17, ""}, {18, std::string("game4\0hidden", 12)}};
    w.foreground = 11;
    return w;
}

struct Timer : monitor::Timer {
    bool running = false;
    void Start() override { running = true; }
    void Stop() override { running = false; }
    bool IsRunning() const override { return running; }
};

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

TEST(WindowSearch, ListsMatchingTitlesFrontToBackTrimmed)
{
    FakeWindows desktop = Desktop();
    WindowList list;
    SearchState search;
    WindowSearch(list, search, desktop, "game");
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"game2", "game1", "game4"})) << "case-sensitive, blanks skipped";
    EXPECT_EQ(list.At(0).handle, 12u);
    EXPECT_EQ(HandleText(list.At(0).handle), "12");
    EXPECT_EQ(list.At(0).shownAt, "");
    EXPECT_EQ(search.FoundWindowCount, 3);

    // The window in front matches: listed a second time at the end.
    WindowSearch(list, search, desktop, "Zarvexv4.0.1");
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"Zarvexv4.0.1 鼠标位置：1，2", "Zarvexv4.0.1 鼠标位置：1，2"}));

    // An empty text lists every window with a non-blank title.
    WindowSearch(list, search, desktop, "");
    EXPECT_EQ(list.Count(), 6 + 1);
    WindowSearch(list, search, desktop, "nothing like it");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(search.FoundWindowCount, 0);
}

TEST(WindowSearch, TitlesAreCutAt1023BytesOnACharacterBoundary)
{
    EXPECT_EQ(TrimmedTitle(std::string(2000, 'x')).size(), 1023u);
    std::string chinese;
    for (int i = 0; i < 400; ++i)
        chinese += "窗"; // 3 bytes each
    EXPECT_EQ(TrimmedTitle(chinese).size(), 1023u);
    EXPECT_EQ(TrimmedTitle("x" + chinese).size(), 1021u) << "never half a character";
    EXPECT_EQ(TrimmedTitle(" \tgame "), "\tgame") << "only spaces are trimmed";
}

TEST(WindowSwitching, IdleWithFewerThanTwoWindows)
{
    FakeWindows desktop = Desktop();
    WindowList list;
    monitor::MonitorState state;
    state.SwitchInterval = 2;
    monitor::MonitorTable table;
    Timer sampling;
    View view;
    SwitchState sw;
    list.Append({1, 16, "game1", ""});
    for (int t = 0; t < 7; ++t)
        SwitchTick(sw, list, state, table, sampling, desktop, view);
    EXPECT_EQ(view.ticks, (std::vector<int32_t>{1, 2, 3, 1, 2, 3, 1}));
    EXPECT_TRUE(desktop.raised.empty());
    EXPECT_TRUE(view.waits.empty());
    EXPECT_FALSE(sampling.running);
}

TEST(WindowSwitching, CyclesThroughTheListResettingCounters)
{
    FakeWindows desktop = Desktop();
    WindowList list;
    SearchState search;
    WindowSearch(list, search, desktop, "game"); // game2 (12), game1 (16), game4 (18)
    monitor::MonitorState state;
    state.SwitchInterval = 1;
    monitor::MonitorTable table;
    monitor::AddMonitorPoint(table, state);
    monitor::AddMonitorPoint(table, state);
    Timer sampling;
    View view;
    SwitchState sw;
    view.duringWait = [&] {
        EXPECT_FALSE(sampling.running) << "sampling pauses for the switch";
        for (const auto& p : table.Rows())
            EXPECT_EQ(p.counter, 0);
    };

    std::vector<platform::WindowHandle> order;
    for (int round = 0; round < 4; ++round) {
        table.UpdateAll([](monitor::MonitorPoint& p) { p.counter = 4; });
        SwitchTick(sw, list, state, table, sampling, desktop, view); // tick 1: nothing
        EXPECT_EQ(table.At(0).counter, 4);
        SwitchTick(sw, list, state, table, sampling, desktop, view); // tick 2 > interval 1: switch
        EXPECT_TRUE(sampling.running) << "sampling on afterwards, even with no run before";
        order.push_back(desktop.raised.back());
    }
    EXPECT_EQ(order, (std::vector<platform::WindowHandle>{12, 16, 18, 12}));
    EXPECT_EQ(view.waits, (std::vector<int>{3000, 3000, 3000, 3000}));
    EXPECT_EQ(list.At(0).shownAt, "2026/12/6 20:00:00");
    EXPECT_EQ(sw.CurrentWindowIndex, 1);

    // A new search with fewer rows than the position: the next switch goes to row 1.
    sw.CurrentWindowIndex = 3;
    WindowSearch(list, search, desktop, "game1");
    list.Append({2, 12, "game2", ""});
    SwitchTick(sw, list, state, table, sampling, desktop, view);
    SwitchTick(sw, list, state, table, sampling, desktop, view);
    EXPECT_EQ(desktop.raised.back(), 16u);

    // A window closed meanwhile: skipped without harm, its row still stamped.
    desktop.stack[0].open = false; // 16, now in front
    const size_t raisedBefore = desktop.raised.size();
    sw.CurrentWindowIndex = 0;
    SwitchTick(sw, list, state, table, sampling, desktop, view);
    SwitchTick(sw, list, state, table, sampling, desktop, view);
    EXPECT_EQ(desktop.raised.size(), raisedBefore);
    EXPECT_EQ(list.At(0).shownAt, "2026/12/6 20:00:00");
    EXPECT_EQ(view.waits.size(), 6u);
}

TEST(WindowSwitching, TheRuleWantsFiveSecondsAboveTheThreshold)
{
    monitor::MonitorState state;
    state.Threshold = 60;
    state.SwitchInterval = 64;
    EXPECT_FALSE(SwitchRuleHolds(state));
    state.SwitchInterval = 65;
    EXPECT_TRUE(SwitchRuleHolds(state));
    state.Threshold = -32768; // no 16-bit overflow at the edges
    state.SwitchInterval = -32763;
    EXPECT_TRUE(SwitchRuleHolds(state));
    state.Threshold = 32767;
    state.SwitchInterval = 32767;
    EXPECT_FALSE(SwitchRuleHolds(state));
}

TEST(SettingsWindow, ClosingWritesBothKeysAndReadsThemBack)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zarvex-settings-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "config.ini";
    std::ofstream(file) << "[con]\nfz=60\nchgwnd=70\nemail=a@163.com\n";

    auto saved = config::CloseSettings(file, " 045", "1000", {60, 70});
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->switchInterval, 45);
    EXPECT_EQ(saved->threshold, 1000) << "read whole, not cut to three characters";
    EXPECT_EQ(config::ReadIniValue(file, "con", "chgwnd"), "045") << "written as typed";
    EXPECT_EQ(config::ReadIniValue(file, "con", "email"), "a@163.com");

    saved = config::CloseSettings(file, "2.5", "-3.5", {0, 0});
    EXPECT_EQ(saved->switchInterval, 2);
    EXPECT_EQ(saved->threshold, -4);

    // Refused: nothing is written.
    for (const auto& [chg, fz] : {std::pair{"abc", "10"}, std::pair{"10", ""}, std::pair{"40000", "10"},
                                  std::pair{"10", "1e2"}}) {
        EXPECT_FALSE(config::CloseSettings(file, chg, fz, {0, 0})) << chg << " / " << fz;
        EXPECT_EQ(config::ReadIniValue(file, "con", "chgwnd"), "2.5");
    }
    fs::remove_all(dir);
}
