// The PipeWire screen reader against real video nodes: a private PipeWire
// daemon with two test sources standing for two monitors' screen-cast
// streams. With no session manager running, the test links the streams
// itself, as the desktop's session manager would.
#include "platform/wayland/pipewire_screen.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "test_nodes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace zarvex::platform::wayland {
namespace {

using test::ChildProcess;
using test::NodeId;

bool WaitFor(const std::function<bool()>& done, int ms = 10000)
{
    for (int waited = 0; waited < ms; waited += 50) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// Stream a (solid #336699) shows the logical rectangle 0,0 1280x800 and
// stream b (the seven colour bars) 1280,0 640x400, each in 320x200 pixels: a
// point read without the stream's rectangle lands on the wrong bar.
TEST(PipeWireScreen, ReadsEveryStreamThroughItsLogicalRectangle)
{
    for (const char* tool : {"pipewire", "pw-cli", "pw-link", "gst-launch-1.0"}) {
        if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0) {
            std::printf("SKIPPED: %s is not installed (scripts/setup installs it)\n", tool);
            GTEST_SKIP();
        }
    }
    const test::TempFolder runtime("pipewire");
    std::filesystem::permissions(runtime.Path(), std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    ::setenv("PIPEWIRE_RUNTIME_DIR", runtime.Path().c_str(), 1);
    ::unsetenv("PIPEWIRE_REMOTE");
    ChildProcess daemon({"pipewire"}, runtime / "pipewire.log");
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(runtime / "pipewire-0"); })) << "pipewire did not start";
    ChildProcess a(test::TestSource("zarvex-test-a", "solid-color"), runtime / "a.log");
    ChildProcess b(test::TestSource("zarvex-test-b", "smpte"), runtime / "b.log");
    std::optional<uint32_t> idA, idB;
    ASSERT_TRUE(WaitFor([&] { return (idA = NodeId("zarvex-test-a")) && (idB = NodeId("zarvex-test-b")); }));

    ChildProcess c({ZARVEX_CURSOR_SOURCE, "zarvex-test-c", "100", "50"}, runtime / "c.log");
    std::optional<uint32_t> idC;
    ASSERT_TRUE(WaitFor([&] { return (idC = NodeId("zarvex-test-c")).has_value(); }));

    PipeWireScreen screen({{*idA, 0, 0, 1280, 800}, {*idB, 1280, 0, 640, 400}, {*idC, 0, 800, 640, 400}});
    ASSERT_TRUE(screen.Ready());
    const auto link = [](const std::string& source, uint32_t id) {
        const std::string command = "pw-link " + source + ":out_0 zarvex-screen-" + std::to_string(id) + ":in_0 >/dev/null 2>&1";
        return WaitFor([&] { return std::system(command.c_str()) == 0; });
    };
    ASSERT_TRUE(link("zarvex-test-a", *idA) && link("zarvex-test-b", *idB));
    ASSERT_TRUE(WaitFor([&] { return screen.PixelColor({100, 100}) != kColorOutside && screen.PixelColor({1300, 10}) != kColorOutside; }));
    EXPECT_FALSE(screen.KnowsCursorPosition()); // these sources send no pointer

    // Stream c (320x200 pixels for 640x400 logical at 0,800) has the pointer
    // at 100,50 of its frame.
    ASSERT_TRUE(link("zarvex-test-c", *idC));
    ASSERT_TRUE(screen.WaitForFrames(10000));
    EXPECT_TRUE(WaitFor([&] { return screen.KnowsCursorPosition(); }));
    EXPECT_EQ(screen.CursorPosition(), (Point{200, 900}));

    const auto bar = [](int k) { return Point{1280 + (2 * k + 1) * 640 / 14, 50}; };
    const std::vector<Point> points = {{100, 100}, {1279, 799}, bar(0), bar(1), bar(5), bar(6), {1280 + 639, 10},
                                       {1280 + 640, 10}, {-1, 0}};
    const std::vector<int32_t> expected = {PackColor(0x33, 0x66, 0x99), PackColor(0x33, 0x66, 0x99),
                                           PackColor(0xff, 0xff, 0xff), PackColor(0xff, 0xff, 0x00),
                                           PackColor(0xff, 0x00, 0x00), PackColor(0x00, 0x00, 0xff),
                                           PackColor(0x00, 0x00, 0xff), kColorOutside, kColorOutside};
    std::vector<int32_t> colors(points.size());
    screen.PixelColors(points, colors);
    EXPECT_EQ(colors, expected);
    EXPECT_EQ(screen.PixelColor(bar(1)), expected[3]);

    // A stream whose source is gone reads as unknown, not as its last frame.
    b.Kill(SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return screen.PixelColor(bar(1)) == kColorOutside; }));
    EXPECT_EQ(screen.PixelColor({100, 100}), expected[0]);
}

} // namespace
} // namespace zarvex::platform::wayland
