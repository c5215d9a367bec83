// The desktop's top-level windows: visiting every one (visible or not, of
// every program, this one's own included), reading a title, naming the window
// in front, and raising a window above all others for good. Shaped on
// EnumWindows, GetWindowTextW, GetForegroundWindow and SetWindowPos with
// HWND_TOPMOST, SWP_NOSIZE | SWP_NOMOVE.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zarvex::platform {

// The platform's window identifier (an X window id, an HWND value).
using WindowHandle = uint32_t;

class TopLevelWindows {
public:
    virtual ~TopLevelWindows() = default;

    // Calls `visit` for every top-level window, front to back, until it returns false.
    virtual void EnumWindows(const std::function<bool(WindowHandle)>& visit) = 0;
    // The window's title as UTF-8; empty when it has none or is gone.
    virtual std::string WindowText(WindowHandle window) = 0;
    // The window in front (with the keyboard focus); 0 when there is none.
    virtual WindowHandle ForegroundWindow() = 0;
    // Raises the window above all others, keeping its position and size, and
    // keeps it there (the topmost band). False when the window is gone.
    virtual bool RaiseTopmost(WindowHandle window) = 0;

    // Whether RaiseTopmost keeps the window above all others. Wayland has no
    // band above the ordinary windows for a program to put others in: there
    // the window is only brought to the front and given the focus, and the
    // next window the user activates covers it.
    virtual bool KeepsOnTop() const { return true; }
};

} // namespace zarvex::platform
