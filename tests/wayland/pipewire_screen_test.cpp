// The PipeWire screen reader against real video nodes: a private PipeWire
// daemon with test sources standing for monitors' screen-cast streams. With
// no session manager running, the test links the streams itself.
#include "platform/wayland/pipewire_screen.h"
#include "support/temp_folder.h"
#include "wayland_test_helpers.h"

namespace zarvex::platform::wayland {
namespace {

using test::ChildProcess;

// Stream b (the seven colour bars) shows the logical rectangle 1280,0
// 640x400 and stream c (solid #336699, the pointer at 100,50 of its frame)
// 0,800 1280x800, each in 320x200 pixels: a point read without the stream's
// rectangle lands on the wrong bar or outside.
TEST(PipeWireScreen, ReadsEveryStreamThroughItsLogicalRectangle)
{
    ZARVEX_SKIP_IF(test::MissingPipeWireTool());
    const test::TempFolder runtime("pipewire");
    ChildProcess daemon;
    ASSERT_TRUE(test::StartPipeWire(daemon, runtime.Path())) << "pipewire did not start";
    ChildProcess b(test::TestSource("zarvex-test-b", "smpte"), runtime / "b.log");
    ChildProcess c({ZARVEX_CURSOR_SOURCE, "zarvex-test-c", "100", "50"}, runtime / "c.log");
    const std::optional<uint32_t> idB = test::NodeId("zarvex-test-b"), idC = test::NodeId("zarvex-test-c");
    ASSERT_TRUE(idB && idC);

    PipeWireScreen screen({{*idB, 1280, 0, 640, 400}, {*idC, 0, 800, 1280, 800}});
    ASSERT_TRUE(screen.Ready());
    ASSERT_TRUE(test::Link("zarvex-test-b", *idB));
    ASSERT_TRUE(test::WaitFor([&] { return screen.PixelColor({1300, 10}) != kColorOutside; }));
    EXPECT_FALSE(screen.KnowsCursorPosition()); // this source sends no pointer

    ASSERT_TRUE(test::Link("zarvex-test-c", *idC));
    ASSERT_TRUE(screen.WaitForFrames(10000));
    EXPECT_TRUE(test::WaitFor([&] { return screen.KnowsCursorPosition(); }));
    EXPECT_EQ(screen.CursorPosition(), (Point{400, 1000}));

    const auto bar = [](int k) { return Point{1280 + (2 * k + 1) * 640 / 14, 50}; };
    const std::vector<Point> points = {{100, 900}, {1279, 1599}, bar(0), bar(1), bar(5), bar(6), {1280 + 639, 10},
                                       {1280 + 640, 10}, {-1, 800}, {100, 100}};
    const std::vector<int32_t> expected = {PackColor(0x33, 0x66, 0x99), PackColor(0x33, 0x66, 0x99),
                                           PackColor(0xff, 0xff, 0xff), PackColor(0xff, 0xff, 0x00),
                                           PackColor(0xff, 0x00, 0x00), PackColor(0x00, 0x00, 0xff),
                                           PackColor(0x00, 0x00, 0xff), kColorOutside, kColorOutside, kColorOutside};
    std::vector<int32_t> colors(points.size());
    screen.PixelColors(points, colors);
    EXPECT_EQ(colors, expected);
    EXPECT_EQ(screen.PixelColor(bar(1)), expected[3]);

    // A stream whose source is gone reads as unknown, not as its last frame.
    b.Kill(SIGTERM);
    EXPECT_TRUE(test::WaitFor([&] { return screen.PixelColor(bar(1)) == kColorOutside; }));
    EXPECT_EQ(screen.PixelColor({100, 900}), expected[0]);
}

} // namespace
} // namespace zarvex::platform::wayland
