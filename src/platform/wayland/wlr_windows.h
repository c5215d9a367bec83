// Top-level windows on wlroots compositors through the wlroots foreign
// toplevel protocol. A window's handle is a number this backend gives it when
// the compositor first announces it, never reused while the backend lives.
// Wayland has no stacking order for programs to see: "front to back" is the
// window with the focus first, then the others in the order they appeared.
// Activating a window brings it to the front with the focus; there is no
// band that keeps it above others (KeepsOnTop is false).
#pragma once

#include "platform/top_level_windows.h"
#include "platform/wayland/wayland_connection.h"

#include <memory>
#include <vector>

struct wl_seat;
struct zwlr_foreign_toplevel_manager_v1;

namespace zarvex::platform::wayland {

class WlrWindows final : public TopLevelWindows {
public:
    // Connects to `displayName` (WAYLAND_DISPLAY when null); check Ready().
    explicit WlrWindows(const char* displayName = nullptr);
    ~WlrWindows() override;
    WlrWindows(const WlrWindows&) = delete;
    WlrWindows& operator=(const WlrWindows&) = delete;

    // Connected to a compositor that lists its windows and has a seat to
    // activate them on.
    bool Ready() const { return manager_ != nullptr && seat_ != nullptr; }

    void EnumWindows(const std::function<bool(WindowHandle)>& visit) override;
    std::string WindowText(WindowHandle window) override;
    WindowHandle ForegroundWindow() override;
    bool RaiseTopmost(WindowHandle window) override;
    bool KeepsOnTop() const override { return false; }

    struct Toplevel; // one window as last announced

private:
    // Takes in what the compositor has sent; false when it is gone.
    bool Refresh();
    const Toplevel* Find(WindowHandle window) const;

    Connection connection_;
    wl_seat* seat_ = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    std::vector<std::unique_ptr<Toplevel>> toplevels_;
    WindowHandle nextHandle_ = 1;
};

} // namespace zarvex::platform::wayland
