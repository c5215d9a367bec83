// Which display server the program runs under, and what a Wayland compositor
// lets a normal program do: read the screen (wlroots screen copy) and list and
// activate other programs' windows (wlroots foreign toplevels).
#pragma once

#include <functional>

namespace zarvex::platform::wayland {

enum class SessionKind {
    None, // neither a Wayland compositor nor an X server to talk to
    X11,
    WaylandWithXWayland, // X programs work too, but X sees only X programs' windows
    WaylandOnly,
};

// From the variables a desktop session sets: XDG_SESSION_TYPE when it names
// x11 or wayland, otherwise whichever of WAYLAND_DISPLAY and DISPLAY is set
// (a Wayland session that also runs XWayland has both).
SessionKind DetectSession(const std::function<const char*(const char*)>& getenv);
SessionKind DetectSession();

struct WaylandFeatures {
    bool connected = false;
    bool screencopy = false; // zwlr_screencopy_manager_v1
    bool foreignToplevel = false; // zwlr_foreign_toplevel_manager_v1
};

// Asks the compositor at `displayName` (WAYLAND_DISPLAY when null).
WaylandFeatures ProbeWayland(const char* displayName = nullptr);

// The backends a session gets, chosen once at start. In a Wayland session the
// Wayland ways are used even where XWayland runs: through it X sees only X
// programs' windows and pixels, and keys only while an X window has focus.
enum class ScreenBackend { X11, WlrScreencopy, ScreenCast, None };
enum class WindowsBackend { X11, WlrForeignToplevel, None };
enum class HotKeysBackend { X11, Portal, None }; // None: the `zarvex --mark` command instead

struct DesktopOffers {
    WaylandFeatures wayland;
    bool portalScreenCast = false;
    bool portalShortcuts = false;
};

struct BackendChoice {
    ScreenBackend screen = ScreenBackend::None;
    WindowsBackend windows = WindowsBackend::None;
    HotKeysBackend hotKeys = HotKeysBackend::None;
    bool operator==(const BackendChoice&) const = default;
};

BackendChoice ChooseBackends(SessionKind session, const DesktopOffers& offers);

} // namespace zarvex::platform::wayland
