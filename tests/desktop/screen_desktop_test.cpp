// Reading screen pixels on a real X server: the batched reading of a sampling
// pass gives exactly the colours of single reads, on every path it can take.
#include "desktop_support.h"

#include "platform/x11/x11_screen.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <random>

using namespace zarvex;
using namespace zarvex::test;

TEST(DesktopScreen, BatchedReadingEqualsSingleReads)
{
    ASSERT_EQ(Sh("xsetroot -solid '#203040'"), 0);
    // A window of random pixels, so that neighbouring points differ.
    QImage noise(400, 300, QImage::Format_RGB32);
    std::mt19937 rng(5);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, rng() & 0xFFFFFF);
    QLabel window;
    window.setPixmap(QPixmap::fromImage(noise));
    window.setWindowTitle("noise");
    window.show();
    ASSERT_EQ(Sh("xdotool search --sync --onlyvisible --name '^noise$' >/dev/null"), 0);
    Pump(500);

    platform::x11::X11Screen screen(nullptr);
    ASSERT_TRUE(screen.Connected());
    std::uniform_int_distribution<int32_t> x(-40, 1320), y(-40, 840);
    std::vector<platform::Point> points(3000);
    for (auto& p : points)
        p = {x(rng), y(rng)};
    points.push_back({0, 0});
    points.push_back({1279, 799});
    std::vector<int32_t> single(points.size());
    for (size_t i = 0; i < points.size(); ++i)
        single[i] = screen.PixelColor(points[i]);
    const auto background = std::count(single.begin(), single.end(), 0x00403020);
    const auto outside = std::count(single.begin(), single.end(), -1);
    EXPECT_GT(outside, 50);
    EXPECT_GT(static_cast<long>(single.size()) - background - outside, 100) << "points on the noise window";

    std::vector<int32_t> batch(points.size());
    screen.PixelColors(points, batch); // gathered into a shared pixmap, no reply per point
    EXPECT_EQ(batch, single);

    // Many points: one capture of the whole rectangle through shared memory.
    std::vector<platform::Point> many;
    std::vector<int32_t> manySingle;
    for (int k = 0; k < 8; ++k) {
        many.insert(many.end(), points.begin(), points.end());
        manySingle.insert(manySingle.end(), single.begin(), single.end());
    }
    std::vector<int32_t> manyBatch(many.size());
    screen.PixelColors(many, manyBatch);
    EXPECT_EQ(manyBatch, manySingle);

    screen.SetSharedMemoryAllowed(false); // as on a remote display: one plain capture
    std::fill(batch.begin(), batch.end(), 0);
    screen.PixelColors(points, batch);
    EXPECT_EQ(batch, single);

    // A few points far apart: asked one by one, in one round trip.
    const std::vector<platform::Point> few = {{2, 3}, {1277, 798}, {640, 400}, {-1, 5}, {1280, 0}};
    std::vector<int32_t> fewBatch(few.size());
    screen.PixelColors(few, fewBatch);
    for (size_t i = 0; i < few.size(); ++i)
        EXPECT_EQ(fewBatch[i], screen.PixelColor(few[i])) << i;
    Sh("xsetroot -solid black");
}


TEST(DesktopScreen, FollowsTheMonitorsAsTheyChange)
{
    platform::x11::X11Screen screen(nullptr); // made before the change
    const std::vector<platform::Point> points = {{10, 10}, {700, 10}, {10, 500}};
    // Which points have a pixel, as single reads and as one batched reading.
    auto inside = [&] {
        std::vector<int32_t> batch(points.size());
        screen.PixelColors(points, batch);
        std::string seen;
        for (size_t i = 0; i < points.size(); ++i)
            seen += std::string(screen.PixelColor(points[i]) != -1 ? "1" : "0") + (batch[i] != -1 ? "1 " : "0 ");
        return seen;
    };
    EXPECT_EQ(inside(), "11 11 11 ");
    // The one output shrunk to a monitor of 640x400 at the top left.
    ASSERT_EQ(Sh("xrandr --setmonitor half 640/169x400/106+0+0 screen >/dev/null"), 0);
    EXPECT_EQ(inside(), "11 00 00 ");
    Sh("xrandr --delmonitor half");
    EXPECT_EQ(inside(), "11 11 11 ");
}
