#include "platform/platform.h"

#include "platform/alsa/alsa_sound.h"
#include "platform/x11/x11_hot_keys.h"
#include "platform/x11/x11_screen.h"
#include "platform/x11/x11_windows.h"

#include <QGuiApplication>

namespace zarvex::platform {

Platform CreatePlatform(std::string& reason)
{
    Platform p;
    const auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        reason = "Zarvex needs an X11 display (it reads screen pixels and claims a global hot key through X11); "
                 "the current display server is \""
            + (qApp ? QGuiApplication::platformName().toStdString() : std::string("none")) + "\".";
        return p;
    }
    auto screen = std::make_unique<x11::X11Screen>(nullptr); // the display in DISPLAY, as Qt's
    if (!screen->Connected()) {
        reason = "Zarvex could not open a second connection to the X11 display.";
        return p;
    }
    p.screen = std::move(screen);
    // Hot keys on Qt's own connection, so that the grabbed presses arrive as Qt's events.
    p.hotKeys = std::make_unique<x11::X11HotKeys>(x11->connection());
    p.sound = std::make_unique<alsa::AlsaSound>();
    auto windows = std::make_unique<x11::X11Windows>();
    if (windows->Connected())
        p.windows = std::move(windows);
    return p;
}

} // namespace zarvex::platform
