// The Wayland backends on a real compositor: headless sway, started by the
// CTest fixture (wsession.sh) with two outputs, the second at scale 2.
#include "platform/wayland/wayland_session.h"
#include "platform/wayland/wlr_screen.h"
#include "platform/wayland/wlr_windows.h"
#include "support/child_process.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace zarvex::platform::wayland {
namespace {

using test::ChildProcess;

TEST(WaylandSession, DetectsTheSessionFromTheEnvironment)
{
    struct Case {
        const char* sessionType;
        const char* waylandDisplay;
        const char* display;
        SessionKind expected;
    };
    const Case cases[] = {
        {"x11", nullptr, ":0", SessionKind::X11},
        {"x11", "wayland-1", ":0", SessionKind::X11}, // a compositor nested in X
        {"wayland", "wayland-0", ":0", SessionKind::WaylandWithXWayland},
        {"wayland", "wayland-0", nullptr, SessionKind::WaylandOnly},
        {"wayland", nullptr, "", SessionKind::WaylandOnly},
        {"tty", "wayland-0", nullptr, SessionKind::WaylandOnly},
        {nullptr, "wayland-0", ":1", SessionKind::WaylandWithXWayland},
        {nullptr, nullptr, ":0", SessionKind::X11},
        {nullptr, "", "", SessionKind::None},
    };
    for (const Case& c : cases) {
        const auto kind = DetectSession([&](const char* name) -> const char* {
            const std::string_view n = name;
            return n == "XDG_SESSION_TYPE" ? c.sessionType : n == "WAYLAND_DISPLAY" ? c.waylandDisplay
                : n == "DISPLAY"                                                  ? c.display
                                                                                  : nullptr;
        });
        EXPECT_EQ(kind, c.expected) << (c.sessionType ? c.sessionType : "-") << " "
                                    << (c.waylandDisplay ? c.waylandDisplay : "-") << " " << (c.display ? c.display : "-");
    }
}

// Points the process at the headless sway of the fixture; false (the test
// skips) where it could not start.
class WaylandDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::filesystem::path state = std::getenv("ZARVEX_WSESSION") ? std::getenv("ZARVEX_WSESSION") : "";
        if (std::filesystem::exists(state / "skip")) {
            const std::string reason = test::Slurp(state / "skip");
            std::printf("SKIPPED: %s\n", reason.c_str());
            GTEST_SKIP() << reason;
        }
        std::ifstream env(state / "env");
        ASSERT_TRUE(env) << "no headless sway session at " << state;
        for (std::string line; std::getline(env, line);) {
            const auto eq = line.find('=');
            ::setenv(line.substr(0, eq).c_str(), line.substr(eq + 1).c_str(), 1);
        }
    }

    static void Sway(const std::string& command)
    {
        ASSERT_EQ(std::system(("swaymsg '" + command + "' >/dev/null").c_str()), 0) << command;
    }

    // The title of the window sway has focused, as its IPC tells it.
    static std::string FocusedTitle()
    {
        FILE* out = ::popen("swaymsg -t get_tree | python3 -c 'import json,sys\n"
                            "def f(n):\n"
                            "    if n.get(\"focused\"): return n.get(\"name\") or \"\"\n"
                            "    for c in n.get(\"nodes\", []) + n.get(\"floating_nodes\", []):\n"
                            "        r = f(c)\n"
                            "        if r is not None: return r\n"
                            "print(f(json.load(sys.stdin)) or \"\", end=\"\")'",
                            "r");
        std::string title;
        char buffer[256];
        while (out && std::fgets(buffer, sizeof buffer, out))
            title += buffer;
        if (out)
            ::pclose(out);
        return title;
    }

    static bool WaitFor(const std::function<bool()>& done, int ms = 5000)
    {
        for (int waited = 0; waited < ms; waited += 50) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return done();
    }
};

TEST_F(WaylandDesktop, ProbeFindsWhatSwayOffers)
{
    const WaylandFeatures sway = ProbeWayland();
    EXPECT_TRUE(sway.connected);
    EXPECT_TRUE(sway.screencopy);
    EXPECT_TRUE(sway.foreignToplevel);
    EXPECT_FALSE(ProbeWayland("/nonexistent/wayland-9").connected);
}

// The first output shows the background #336699; a window fills the second
// (1280x800 pixels at scale 2, so 640x400 logical at x 1280, or 400x640 when
// turned) with four coloured quarters: a point read without the output's
// scale, rotation or mirroring lands in the wrong quarter.
TEST_F(WaylandDesktop, ScreenReadsEveryOutputInLogicalCoordinates)
{
    Sway("focus output HEADLESS-2");
    ChildProcess window({ZARVEX_TEST_WINDOW, "zarvex-colours", "e01020", "10e060", "2040f0", "f0e010"}); // opens where the focus is

    WlrScreen screen;
    ASSERT_TRUE(screen.Ready());
    EXPECT_FALSE(screen.KnowsCursorPosition());
    const int32_t background = PackColor(0x33, 0x66, 0x99);
    const int32_t topLeft = PackColor(0xe0, 0x10, 0x20), topRight = PackColor(0x10, 0xe0, 0x60);
    const int32_t bottomLeft = PackColor(0x20, 0x40, 0xf0), bottomRight = PackColor(0xf0, 0xe0, 0x10);
    for (const std::string transform : {"normal", "90", "180", "270", "flipped", "flipped-90", "flipped-180", "flipped-270"}) {
        Sway("output HEADLESS-2 transform " + transform);
        const bool turned = transform.ends_with("90") || transform.ends_with("270");
        const int32_t w = turned ? 400 : 640, h = turned ? 640 : 400, x = 1280;
        const std::vector<Point> points = {{100, 100}, {1279, 799}, {x + w / 4, h / 4}, {x + 3 * w / 4, h / 4},
                                           {x + w / 4, 3 * h / 4}, {x + 3 * w / 4, 3 * h / 4}, {x + w - 1, h - 1},
                                           {-1, 0}, {x + w, 10}, {100, 800}};
        const std::vector<int32_t> expected = {background, background, topLeft, topRight, bottomLeft, bottomRight,
                                               bottomRight, kColorOutside, kColorOutside, kColorOutside};
        std::vector<int32_t> colors(points.size());
        // The window is drawn anew at the output's new shape.
        WaitFor([&] {
            screen.PixelColors(points, colors);
            return colors == expected;
        });
        EXPECT_EQ(colors, expected) << "transform " << transform;
        for (size_t i = 0; i < points.size(); ++i)
            EXPECT_EQ(screen.PixelColor(points[i]), expected[i]) << i << " transform " << transform;
    }
    Sway("output HEADLESS-2 transform normal");
}

TEST_F(WaylandDesktop, WindowsAreListedAndActivatedInTurn)
{
    Sway("focus output HEADLESS-1");
    const std::vector<std::string> titles = {"zarvex-alpha", "zarvex-beta", "zarvex-gamma"};
    std::vector<std::unique_ptr<ChildProcess>> windows;
    for (const auto& title : titles)
        windows.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{ZARVEX_TEST_WINDOW, title, "808080", "808080"}));

    WlrWindows list;
    ASSERT_TRUE(list.Ready());
    EXPECT_FALSE(list.KeepsOnTop());
    std::map<std::string, WindowHandle> handles;
    ASSERT_TRUE(WaitFor([&] {
        handles.clear();
        list.EnumWindows([&](WindowHandle w) {
            handles[list.WindowText(w)] = w;
            return true;
        });
        return handles.size() == titles.size();
    })) << handles.size() << " windows listed";

    for (const auto& title : titles) {
        ASSERT_TRUE(list.RaiseTopmost(handles.at(title))) << title;
        EXPECT_TRUE(WaitFor([&] { return FocusedTitle() == title; })) << title << " not focused: " << FocusedTitle();
        EXPECT_TRUE(WaitFor([&] { return list.ForegroundWindow() == handles.at(title); })) << title;
    }

    windows[1].reset(); // beta closes
    EXPECT_TRUE(WaitFor([&] { return !list.RaiseTopmost(handles.at("zarvex-beta")); }));
}

} // namespace
} // namespace zarvex::platform::wayland
