// Screen pixels on wlroots compositors (sway and others) through the wlroots
// screen copy protocol. Positions are the compositor's logical coordinates,
// the space in which it places its outputs side by side; each output's frame
// holds its pixels at the output's scale, so a point is mapped into the frame
// of the output it lies on, turned by the output's rotation or mirroring.
// One reading captures each output it needs once.
//
// No Wayland protocol tells a program where the pointer is, so this screen
// does not know the cursor position.
#pragma once

#include "platform/screen.h"
#include "platform/wayland/wayland_connection.h"

#include <cstddef>
#include <memory>
#include <vector>

struct wl_output;
struct wl_shm;
struct wl_buffer;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_screencopy_manager_v1;
struct zwlr_screencopy_frame_v1;

namespace zarvex::platform::wayland {

class WlrScreen final : public Screen {
public:
    // Connects to `displayName` (WAYLAND_DISPLAY when null); check Ready().
    explicit WlrScreen(const char* displayName = nullptr);
    ~WlrScreen() override;
    WlrScreen(const WlrScreen&) = delete;
    WlrScreen& operator=(const WlrScreen&) = delete;

    // Connected to a compositor that offers screen copies into shared memory.
    bool Ready() const { return manager_ != nullptr && shm_ != nullptr; }

    Point CursorPosition() override { return {}; }
    bool KnowsCursorPosition() const override { return false; }
    int32_t PixelColor(Point p) override;
    void PixelColors(std::span<const Point> points, std::span<int32_t> colors) override;

    // How long the last reading took to capture its frames, in milliseconds.
    double LastCaptureMs() const { return lastCaptureMs_; }

    struct Output; // one monitor: its place, its last frame

private:
    void AddOutput(const Global& global);
    bool Capture(const std::vector<Output*>& outputs);

    Connection connection_;
    wl_shm* shm_ = nullptr;
    zxdg_output_manager_v1* xdgOutputs_ = nullptr;
    zwlr_screencopy_manager_v1* manager_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    double lastCaptureMs_ = 0;
};

} // namespace zarvex::platform::wayland
