// Screen pixels from PipeWire video streams, one stream per monitor, as the
// desktop's screen-cast service hands them out (GNOME, KDE Plasma and
// wlroots desktops alike). Each stream shows one monitor's logical rectangle;
// its frames may have more or fewer pixels than that (output scale, a
// scaled-down cast), so a point is mapped into the frame through the
// rectangle. Frames arrive on PipeWire's own thread; a reading is served
// from the newest frame of each stream, copied when it arrived.
//
// Buffers are asked for in shared memory (MemFd, MemPtr) in the 32-bit RGB
// layouts, never as GPU buffers: the program reads a few pixels, not video.
#pragma once

#include "platform/screen.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zarvex::platform::wayland {

// A monitor's stream: its PipeWire node and the logical rectangle it shows.
struct CastStream {
    uint32_t nodeId = 0;
    int32_t x = 0, y = 0, width = 0, height = 0;
};

class PipeWireScreen final : public Screen {
public:
    // Connects to the PipeWire daemon behind `remoteFd` (what the screen-cast
    // service opened for this program; taken over), or to the user's daemon
    // when -1, and asks for the given streams; check Ready().
    explicit PipeWireScreen(std::vector<CastStream> streams, int remoteFd = -1);
    ~PipeWireScreen() override;
    PipeWireScreen(const PipeWireScreen&) = delete;
    PipeWireScreen& operator=(const PipeWireScreen&) = delete;

    bool Ready() const;

    // Where the desktop sends the pointer's position with the frames (GNOME
    // and KDE Plasma do, in the cast's cursor-metadata mode; wlroots' portal
    // does not): the position on the monitor it is over. {0, 0} while no
    // stream has it.
    Point CursorPosition() override;
    bool KnowsCursorPosition() const override;
    int32_t PixelColor(Point p) override;
    void PixelColors(std::span<const Point> points, std::span<int32_t> colors) override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace zarvex::platform::wayland
