#include "platform/platform.h"

#include "platform/x11/x11_hot_keys.h"
#include "platform/x11/x11_screen.h"

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
    p.screen = std::make_unique<x11::X11Screen>(x11->connection());
    p.hotKeys = std::make_unique<x11::X11HotKeys>(x11->connection());
    return p;
}

} // namespace zarvex::platform
