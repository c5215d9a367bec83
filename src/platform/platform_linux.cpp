#include "platform/platform.h"

#include "platform/alsa/alsa_sound.h"
#include "platform/x11/x11_hot_keys.h"
#include "platform/x11/x11_screen.h"
#include "platform/x11/x11_windows.h"
#if ZARVEX_WAYLAND
#include "platform/wayland/portal_hot_keys.h"
#include "platform/wayland/screen_cast_portal.h"
#include "platform/wayland/screen_cast_screen.h"
#include "platform/wayland/wayland_session.h"
#include "platform/wayland/wlr_screen.h"
#include "platform/wayland/wlr_windows.h"
#endif

#include <QGuiApplication>

#include <cstdlib>
#include <map>

namespace zarvex::platform {

namespace {

Platform CreateX11Platform(std::string& reason)
{
    Platform p;
    const auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        reason = "Zarvex needs an X11 display or a Wayland desktop (it reads screen pixels and claims a global "
                 "hot key through them); the current display server is \""
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

#if ZARVEX_WAYLAND
// A screen that never reads: the desktop offers no way to see its pixels.
class NoScreen final : public Screen {
public:
    Point CursorPosition() override { return {}; }
    bool KnowsCursorPosition() const override { return false; }
    std::string Unavailable() const override
    {
        return "这个桌面不让程序读取屏幕像素（没有屏幕复制，也没有屏幕共享服务），不能启动监控。";
    }
    int32_t PixelColor(Point) override { return kColorOutside; }
};

Platform CreateWaylandPlatform(wayland::SessionKind session, const PlatformOptions& options)
{
    using namespace wayland;
    Platform p;
    p.sound = std::make_unique<alsa::AlsaSound>();
    DesktopOffers offers;
    offers.wayland = ProbeWayland();
    auto hotKeys = std::make_unique<PortalHotKeys>(
        std::map<int32_t, PortalHotKeys::Shortcut>{{1, {"mark-point", "Zarvex: 在鼠标处设置监控点"}}});
    offers.portalShortcuts = hotKeys->Available();
    auto cast = std::make_unique<ScreenCastScreen>();
    offers.portalScreenCast = ScreenCastPortal().Available();
    const BackendChoice choice = ChooseBackends(session, offers);

    if (choice.screen == ScreenBackend::WlrScreencopy) {
        auto screen = std::make_unique<WlrScreen>();
        if (screen->Ready())
            p.screen = std::move(screen);
    } else if (choice.screen == ScreenBackend::ScreenCast) {
        cast->Start(options.screenCastToken, options.keepScreenCastToken, options.notice);
        p.screen = std::move(cast);
    }
    if (!p.screen) {
        p.screen = std::make_unique<NoScreen>();
        if (options.notice)
            options.notice(p.screen->Unavailable());
    }
    if (choice.windows == WindowsBackend::WlrForeignToplevel) {
        auto windows = std::make_unique<WlrWindows>();
        if (windows->Ready())
            p.windows = std::move(windows);
    }
    if (choice.hotKeys == HotKeysBackend::Portal) {
        hotKeys->onRefused = [notice = options.notice, hint = options.markHint](const std::string& why) {
            if (notice)
                notice("桌面没有绑定 CTRL+W（" + why + "）。" + hint);
        };
        p.hotKeys = std::move(hotKeys);
    }
    return p;
}
#endif

} // namespace

DisplaySession SessionKindNow()
{
#if ZARVEX_WAYLAND
    switch (wayland::DetectSession()) {
    case wayland::SessionKind::X11:
        return DisplaySession::X11;
    case wayland::SessionKind::WaylandOnly:
    case wayland::SessionKind::WaylandWithXWayland:
        return DisplaySession::Wayland;
    case wayland::SessionKind::None:
        break;
    }
    return DisplaySession::None;
#else
    const char* display = std::getenv("DISPLAY");
    return display && *display ? DisplaySession::X11 : DisplaySession::None;
#endif
}

Platform CreatePlatform(std::string& reason)
{
    return CreatePlatform(reason, {});
}

Platform CreatePlatform(std::string& reason, const PlatformOptions& options)
{
#if ZARVEX_WAYLAND
    const auto session = wayland::DetectSession();
    if (session == wayland::SessionKind::WaylandOnly || session == wayland::SessionKind::WaylandWithXWayland)
        return CreateWaylandPlatform(session, options);
#else
    (void)options;
#endif
    return CreateX11Platform(reason);
}

} // namespace zarvex::platform
