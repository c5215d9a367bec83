// Global hot keys on a real X server, over their whole life: a key another
// program holds is refused, a key map change moves the grab along, and the
// key is free again once the hot keys are gone.
#include "desktop/desktop_support.h"

#include "platform/x11/x11_hot_keys.h"

#include <QGuiApplication>

#include <cstdlib>
#include <vector>

using namespace zarvex;
using namespace zarvex::test;

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
        EXPECT_TRUE(PumpUntil([&] { return pressed.size() == 1; }, 3000));

        // "k" moves to another key: the grab must follow it.
        Sh("xmodmap -e 'keycode " + std::to_string(k) + " =' -e 'keycode " + std::to_string(spare) + " = k K'");
        Pump(300);
        Sh("xdotool key ctrl+alt+k");
        EXPECT_TRUE(PumpUntil([&] { return pressed.size() == 2; }, 3000)) << "after the key map changed";
        Sh("xmodmap -e 'keycode " + std::to_string(spare) + " =' -e 'keycode " + std::to_string(k) + " = k K'");
        Pump(300);
        EXPECT_EQ(pressed, (std::vector<int32_t>{2, 2}));
    }
    EXPECT_TRUE(otherGrabs(k)) << "given back when the hot keys are gone";
    xcb_disconnect(other);
}
