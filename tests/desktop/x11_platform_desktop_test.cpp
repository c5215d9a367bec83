// The X11 platform on a real X server: batched pixel reads equal single ones
// on every path and follow the monitors' bounds; a global hot key another
// program holds is refused, a key map change moves the grab along, and the
// key is free again once the hot keys are gone.
#include "desktop/desktop_support.h"

#include "platform/x11/x11_hot_keys.h"
#include "platform/x11/x11_screen.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <cstdlib>
#include <random>

using namespace zarvex;
using namespace zarvex::test;

TEST(DesktopScreen, BatchedReadingEqualsSingleReadsAndFollowsTheMonitors)
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
    QTest::qWait(500);

    platform::x11::X11Screen screen(nullptr);
    ASSERT_TRUE(screen.Connected());
    std::uniform_int_distribution<int32_t> x(-40, 1320), y(-40, 840);
    std::vector<platform::Point> points(3000);
    for (auto& p : points)
        p = {x(rng), y(rng)};
    points.push_back({0, 0});
    points.push_back({1279, 799});
    auto singly = [&](const std::vector<platform::Point>& at) {
        std::vector<int32_t> colors;
        for (const auto& p : at)
            colors.push_back(screen.PixelColor(p));
        return colors;
    };
    const auto single = singly(points);
    const auto outside = std::count(single.begin(), single.end(), -1);
    EXPECT_GT(outside, 50);
    EXPECT_GT(static_cast<long>(single.size()) - std::count(single.begin(), single.end(), 0x00403020) - outside, 100)
        << "points on the noise window";
    std::vector<platform::Point> many; // enough for one capture of the whole rectangle
    std::vector<int32_t> manySingle;
    for (int k = 0; k < 8; ++k) {
        many.insert(many.end(), points.begin(), points.end());
        manySingle.insert(manySingle.end(), single.begin(), single.end());
    }
    const std::vector<platform::Point> few = {{2, 3}, {1277, 798}, {640, 400}, {-1, 5}, {1280, 0}};

    const struct {
        const char* what;
        const std::vector<platform::Point>& points;
        std::vector<int32_t> expected;
        bool sharedMemory; // off as on a remote display: one plain capture
    } cases[] = {
        {"gathered into a shared pixmap, no reply per point", points, single, true},
        {"one capture of the whole rectangle through shared memory", many, manySingle, true},
        {"one plain capture", points, single, false},
        {"a few points far apart, asked one by one in one round trip", few, singly(few), true},
    };
    for (const auto& c : cases) {
        screen.SetSharedMemoryAllowed(c.sharedMemory);
        std::vector<int32_t> batch(c.points.size());
        screen.PixelColors(c.points, batch);
        EXPECT_EQ(batch, c.expected) << c.what;
    }

    // Two monitors of different heights side by side leave a hole below the
    // shorter one: no pixel there (all ones), whatever the root holds. The
    // screen object was made before the monitors change.
    window.hide();
    QTest::qWait(300);
    const std::vector<platform::Point> hole = {{1279, 799}, {1000, 100}, {1000, 600}, {100, 600}, {-1, 10}, {1280, 10}};
    auto seen = [&] {
        std::vector<int32_t> batch(hole.size());
        screen.PixelColors(hole, batch);
        EXPECT_EQ(batch, singly(hole)) << "batched as singly";
        return batch;
    };
    const int32_t root = 0x00403020;
    EXPECT_EQ(seen(), (std::vector<int32_t>{root, root, root, root, -1, -1}));
    ASSERT_EQ(Sh("xrandr --setmonitor zleft 640/170x800/220+0+0 screen && "
                 "xrandr --setmonitor zright 640/170x400/110+640+0 none"), 0);
    EXPECT_EQ(seen(), (std::vector<int32_t>{-1, root, -1, root, -1, -1}));
    Sh("xrandr --delmonitor zleft; xrandr --delmonitor zright");
    EXPECT_EQ(seen(), (std::vector<int32_t>{root, root, root, root, -1, -1}));
}

TEST(DesktopHotKeys, RefusedWhenHeldFollowTheKeyMapAndGivenBackWhenGone)
{
    auto keycode = [](const char* keysym) {
        return static_cast<xcb_keycode_t>(
            std::stoi(ShOut(std::string("xmodmap -pke | awk '$4 == \"") + keysym + "\" {print $2; exit}'")));
    };
    const xcb_keycode_t j = keycode("j"), k = keycode("k"), spare = keycode(""); // spare: one with no symbol
    // Another program's connection; whether it can grab Ctrl+Alt+key.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    auto otherGrabs = [&](xcb_keycode_t code) {
        xcb_generic_error_t* error = xcb_request_check(
            other, xcb_grab_key_checked(other, 0, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, code,
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    };
    ASSERT_TRUE(otherGrabs(j));
    {
        platform::x11::X11HotKeys keys(qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection());
        std::vector<int32_t> pressed;
        keys.SetHandler([&](int32_t id) { pressed.push_back(id); });
        EXPECT_FALSE(keys.Register(1, platform::kModControl | platform::kModAlt, 'J')) << "held by the other program";
        ASSERT_TRUE(keys.Register(2, platform::kModControl | platform::kModAlt, 'K'));
        Sh("xdotool key ctrl+alt+k");
        EXPECT_TRUE(QTest::qWaitFor([&] { return pressed.size() == 1; }, 3000));

        // "k" moves to another key: the grab must follow it.
        Sh("xmodmap -e 'keycode " + std::to_string(k) + " =' -e 'keycode " + std::to_string(spare) + " = k K'");
        QTest::qWait(300);
        Sh("xdotool key ctrl+alt+k");
        EXPECT_TRUE(QTest::qWaitFor([&] { return pressed.size() == 2; }, 3000)) << "after the key map change";
        Sh("xmodmap -e 'keycode " + std::to_string(spare) + " =' -e 'keycode " + std::to_string(k) + " = k K'");
        QTest::qWait(300);
        EXPECT_EQ(pressed, (std::vector<int32_t>{2, 2}));
    }
    EXPECT_TRUE(otherGrabs(k)) << "given back when the hot keys are gone";
    xcb_disconnect(other);
}
