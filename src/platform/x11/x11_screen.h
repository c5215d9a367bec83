// The screen through XCB: the pointer and root-window pixels in real screen
// pixels, whatever scaling Qt applies to its own widgets.
#pragma once

#include "platform/screen.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace zarvex::platform::x11 {

class X11Screen : public Screen {
public:
    // Opens its own connection to the display: replies to screen reads then
    // never wake the thread that reads Qt's events. Check Connected().
    explicit X11Screen(const char* displayName);
    ~X11Screen() override;
    X11Screen(const X11Screen&) = delete;
    X11Screen& operator=(const X11Screen&) = delete;
    bool Connected() const { return connection_ != nullptr; }

    Point CursorPosition() override;
    int32_t PixelColor(Point p) override;
    // One reading for all points: the bounding box of those on a monitor in
    // one image (through shared memory where the server offers it), or, for a
    // few points far apart, their single pixels asked all at once.
    void PixelColors(std::span<const Point> points, std::span<int32_t> colors) override;

    // Shared memory is used when the X server is on this machine; tests and
    // remote displays use the plain image request instead.
    void SetSharedMemoryAllowed(bool allowed) { shmAllowed_ = allowed; }

    // The rectangles of the monitors (the whole root when RandR has none).
    struct Rect {
        int32_t x, y, width, height;
        bool Contains(Point p) const { return p.x >= x && p.y >= y && p.x < x + width && p.y < y + height; }
    };
    std::vector<Rect> Monitors();

protected:
    // Asks for the monitors; the reply is read by TakeMonitors, so that the
    // question can travel together with another one.
    uint32_t AskMonitors();
    std::vector<Rect> TakeMonitors(uint32_t sequence);

    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    int32_t rootWidth_ = 0, rootHeight_ = 0;
    uint8_t depth_ = 0;
    uint8_t bitsPerPixel_ = 0;
    bool lsbFirst_ = true;
    uint32_t redMask_ = 0, greenMask_ = 0, blueMask_ = 0;
    bool haveRandr_ = false;
    uint8_t scanlinePad_ = 32;

    // Shared-memory segment for captures, created on first use, as large as the root.
    bool shmAllowed_ = true;
    bool shmAvailable_ = false;
    uint32_t shmSegment_ = 0;
    int shmId_ = -1;
    uint8_t* shmData_ = nullptr;
    size_t shmBytes_ = 0;
    bool AttachSharedMemory();
    void DetachSharedMemory(); // both segments
    void DetachCapture();

    // Gathering single pixels without a reply each: every point's pixel is
    // copied (CopyArea, which has no reply) into a shared-memory pixmap, one
    // round trip waits for the server, and the pixels are read in place.
    static constexpr int32_t kGatherWidth = 1024;
    static constexpr int32_t kGatherRows = 32; // 32768 points
    bool gatherTried_ = false, gatherReady_ = false;
    uint32_t gatherSegment_ = 0, gatherPixmap_ = 0, gatherGc_ = 0;
    uint8_t* gatherData_ = nullptr;
    bool SetUpGather();
    bool Gather(std::span<const Point> points, const std::vector<size_t>& which, std::span<int32_t> colors);

    // Reads the rectangle; its pixels (rows of `stride` bytes) stay valid
    // until the next capture. Null on failure.
    const uint8_t* Capture(int32_t x, int32_t y, int32_t width, int32_t height, size_t& stride);
    std::unique_ptr<xcb_get_image_reply_t, void (*)(void*)> lastImage_{nullptr, &std::free};

    // The packed colour (red low) of one pixel as the server sent it.
    int32_t Convert(const uint8_t* pixel) const;
};

} // namespace zarvex::platform::x11
