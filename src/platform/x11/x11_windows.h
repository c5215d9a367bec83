// Top-level windows on X11. Every child of the root is a top-level window;
// where a window manager has put a frame around a program's window, the
// program's own window (the one carrying WM_STATE inside the frame) stands
// for it. Front to back is the root's stacking order, reversed.
#pragma once

#include "platform/top_level_windows.h"

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <vector>

struct _XDisplay;

namespace zarvex::platform::x11 {

class X11Windows : public TopLevelWindows {
public:
    // Opens its own connection to the display in DISPLAY; check Connected().
    X11Windows();
    ~X11Windows() override;
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;
    bool Connected() const { return connection_ != nullptr; }

    void EnumWindows(const std::function<bool(WindowHandle)>& visit) override;
    std::string WindowText(WindowHandle window) override;
    WindowHandle ForegroundWindow() override;
    bool RaiseTopmost(WindowHandle window) override;

private:
    // EWMH is trusted only while a window manager is really running: its
    // check window must exist and point to itself (properties outlive a WM).
    bool WindowManagerRunning();
    xcb_window_t ClientOf(xcb_window_t topLevel, int depth);
    xcb_window_t TopLevelOf(xcb_window_t window);
    std::vector<xcb_window_t> Children(xcb_window_t window, xcb_window_t* parent = nullptr);

    xcb_connection_t* connection_ = nullptr;
    xcb_ewmh_connection_t ewmh_{};
    bool ewmhReady_ = false;
    xcb_window_t root_ = 0;
    xcb_atom_t wmState_ = 0;
    _XDisplay* xlib_ = nullptr; // only for decoding COMPOUND_TEXT titles
};

} // namespace zarvex::platform::x11
