#include "platform/wayland/wayland_session.h"

#include "platform/wayland/wayland_connection.h"

#include <cstdlib>
#include <string_view>

namespace zarvex::platform::wayland {

SessionKind DetectSession(const std::function<const char*(const char*)>& getenv)
{
    const auto set = [&](const char* name) {
        const char* value = getenv(name);
        return value && *value;
    };
    const char* type = getenv("XDG_SESSION_TYPE");
    const std::string_view sessionType = type ? type : "";
    const bool x = set("DISPLAY");
    // A compositor nested in an X session (or an X server nested in a
    // Wayland one) does not change what the session is.
    const bool wayland = sessionType == "wayland" || (sessionType != "x11" && set("WAYLAND_DISPLAY"));
    if (wayland)
        return x ? SessionKind::WaylandWithXWayland : SessionKind::WaylandOnly;
    return x ? SessionKind::X11 : SessionKind::None;
}

SessionKind DetectSession()
{
    return DetectSession([](const char* name) { return static_cast<const char*>(std::getenv(name)); });
}

WaylandFeatures ProbeWayland(const char* displayName)
{
    WaylandFeatures features;
    const Connection connection(displayName);
    if (!connection.Connected())
        return features;
    features.connected = true;
    features.screencopy = connection.Find("zwlr_screencopy_manager_v1") != nullptr;
    features.foreignToplevel = connection.Find("zwlr_foreign_toplevel_manager_v1") != nullptr;
    return features;
}

BackendChoice ChooseBackends(SessionKind session, const DesktopOffers& offers)
{
    if (session == SessionKind::X11)
        return {ScreenBackend::X11, WindowsBackend::X11, HotKeysBackend::X11};
    BackendChoice choice;
    if (session == SessionKind::None)
        return choice;
    // Screen copies are read directly, with no question to the user; the
    // screen cast needs the desktop's (and maybe the user's) consent.
    choice.screen = offers.wayland.screencopy ? ScreenBackend::WlrScreencopy
        : offers.portalScreenCast             ? ScreenBackend::ScreenCast
                                              : ScreenBackend::None;
    choice.windows = offers.wayland.foreignToplevel ? WindowsBackend::WlrForeignToplevel : WindowsBackend::None;
    choice.hotKeys = offers.portalShortcuts ? HotKeysBackend::Portal : HotKeysBackend::None;
    return choice;
}

} // namespace zarvex::platform::wayland
