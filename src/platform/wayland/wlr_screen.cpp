#include "platform/wayland/wlr_screen.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace zarvex::platform::wayland {

struct WlrScreen::Output {
    WlrScreen* screen = nullptr;
    uint32_t globalName = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;

    // From wl_output, used where the compositor has no xdg-output.
    int32_t x = 0, y = 0, modeWidth = 0, modeHeight = 0, scale = 1, transform = WL_OUTPUT_TRANSFORM_NORMAL;
    // The output's logical rectangle.
    int32_t logicalX = 0, logicalY = 0, logicalWidth = 0, logicalHeight = 0;
    bool haveLogical = false;
    bool gone = false;

    // The frame being captured or last captured, in shared memory.
    zwlr_screencopy_frame_v1* frame = nullptr;
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool bufferAnnounced = false, yInvert = false, ready = false, failed = false;
    int fd = -1;
    size_t size = 0;
    uint8_t* data = nullptr;
    wl_shm_pool* pool = nullptr;
    wl_buffer* buffer = nullptr;
    uint32_t bufferFormat = 0, bufferWidth = 0, bufferHeight = 0, bufferStride = 0;

    ~Output()
    {
        if (frame)
            zwlr_screencopy_frame_v1_destroy(frame);
        FreeBuffer();
        if (xdgOutput)
            zxdg_output_v1_destroy(xdgOutput);
        if (output)
            wl_output_release(output);
    }

    void FreeBuffer()
    {
        if (buffer)
            wl_buffer_destroy(buffer);
        if (pool)
            wl_shm_pool_destroy(pool);
        if (data)
            ::munmap(data, size);
        if (fd >= 0)
            ::close(fd);
        buffer = nullptr;
        pool = nullptr;
        data = nullptr;
        fd = -1;
        size = 0;
    }

    // A shared-memory buffer of the announced shape, kept from the last
    // frame when the shape has not changed.
    bool EnsureBuffer(wl_shm* shm)
    {
        if (buffer && bufferFormat == format && bufferWidth == width && bufferHeight == height && bufferStride == stride)
            return true;
        FreeBuffer();
        size = static_cast<size_t>(stride) * height;
        if (size == 0)
            return false;
        fd = ::memfd_create("zarvex-screen", MFD_CLOEXEC);
        if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            FreeBuffer();
            return false;
        }
        void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapped == MAP_FAILED) {
            FreeBuffer();
            return false;
        }
        data = static_cast<uint8_t*>(mapped);
        pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
        buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<int32_t>(width), static_cast<int32_t>(height),
                                           static_cast<int32_t>(stride), format);
        bufferFormat = format;
        bufferWidth = width;
        bufferHeight = height;
        bufferStride = stride;
        return true;
    }

    bool Contains(Point p) const
    {
        return !gone && haveLogical && logicalWidth > 0 && logicalHeight > 0 && p.x >= logicalX && p.y >= logicalY
            && p.x - logicalX < logicalWidth && p.y - logicalY < logicalHeight;
    }

    // The colour at a logical point inside this output, from the captured frame.
    int32_t ColorAt(Point p) const
    {
        if (!ready || !data)
            return kColorOutside;
        // The frame holds the output's pixels as they go to the monitor:
        // for a rotated or mirrored monitor, the picture the user sees
        // turned back by the output's transform. Positions along the
        // logical axes first, in the frame pixels each axis spans.
        const bool quarter = (transform & 1) != 0; // turned by 90 or 270 degrees
        const uint32_t spanX = quarter ? height : width, spanY = quarter ? width : height;
        const auto u = static_cast<uint32_t>(int64_t{p.x - logicalX} * spanX / logicalWidth);
        const auto v = static_cast<uint32_t>(int64_t{p.y - logicalY} * spanY / logicalHeight);
        uint32_t col = u, row = v;
        switch (transform) {
        case WL_OUTPUT_TRANSFORM_90: col = v; row = height - 1 - u; break;
        case WL_OUTPUT_TRANSFORM_180: col = width - 1 - u; row = height - 1 - v; break;
        case WL_OUTPUT_TRANSFORM_270: col = width - 1 - v; row = u; break;
        case WL_OUTPUT_TRANSFORM_FLIPPED: col = width - 1 - u; break;
        case WL_OUTPUT_TRANSFORM_FLIPPED_90: col = v; row = u; break;
        case WL_OUTPUT_TRANSFORM_FLIPPED_180: row = height - 1 - v; break;
        case WL_OUTPUT_TRANSFORM_FLIPPED_270: col = width - 1 - v; row = height - 1 - u; break;
        default: break;
        }
        if (yInvert)
            row = height - 1 - row;
        uint32_t pixel = 0;
        std::memcpy(&pixel, data + static_cast<size_t>(row) * stride + static_cast<size_t>(col) * 4, 4);
        // Shared-memory formats are little-endian words: XRGB holds blue in
        // the low byte, XBGR red.
        if (format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888)
            return PackColor(static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8), static_cast<uint8_t>(pixel));
        return PackColor(static_cast<uint8_t>(pixel), static_cast<uint8_t>(pixel >> 8), static_cast<uint8_t>(pixel >> 16));
    }

    void UpdateLogical()
    {
        if (xdgOutput)
            return; // xdg-output says it directly
        logicalX = x;
        logicalY = y;
        const bool quarter = (transform & 1) != 0;
        logicalWidth = (quarter ? modeHeight : modeWidth) / std::max(scale, 1);
        logicalHeight = (quarter ? modeWidth : modeHeight) / std::max(scale, 1);
        haveLogical = modeWidth > 0;
    }
};

namespace {

bool SupportedFormat(uint32_t format)
{
    return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888 || format == WL_SHM_FORMAT_XBGR8888
        || format == WL_SHM_FORMAT_ABGR8888;
}

const wl_output_listener kOutputListener = {
    .geometry = [](void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
                   int32_t transform) {
        auto* o = static_cast<WlrScreen::Output*>(data);
        o->x = x;
        o->y = y;
        o->transform = transform;
    },
    .mode = [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
        auto* o = static_cast<WlrScreen::Output*>(data);
        if (flags & WL_OUTPUT_MODE_CURRENT) {
            o->modeWidth = width;
            o->modeHeight = height;
        }
    },
    .done = [](void* data, wl_output*) { static_cast<WlrScreen::Output*>(data)->UpdateLogical(); },
    .scale = [](void* data, wl_output*, int32_t factor) { static_cast<WlrScreen::Output*>(data)->scale = factor; },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener = {
    .logical_position = [](void* data, zxdg_output_v1*, int32_t x, int32_t y) {
        auto* o = static_cast<WlrScreen::Output*>(data);
        o->logicalX = x;
        o->logicalY = y;
    },
    .logical_size = [](void* data, zxdg_output_v1*, int32_t width, int32_t height) {
        auto* o = static_cast<WlrScreen::Output*>(data);
        o->logicalWidth = width;
        o->logicalHeight = height;
        o->haveLogical = true;
    },
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

void StartCopy(WlrScreen::Output* o, wl_shm* shm)
{
    if (!SupportedFormat(o->format) || !o->EnsureBuffer(shm)) {
        o->failed = true;
        return;
    }
    zwlr_screencopy_frame_v1_copy(o->frame, o->buffer);
}

} // namespace

WlrScreen::WlrScreen(const char* displayName) : connection_(displayName)
{
    if (!connection_.Connected())
        return;
    const Global* shm = connection_.Find("wl_shm");
    const Global* manager = connection_.Find("zwlr_screencopy_manager_v1");
    const Global* xdg = connection_.Find("zxdg_output_manager_v1");
    if (!shm || !manager)
        return;
    shm_ = static_cast<wl_shm*>(connection_.Bind(*shm, &wl_shm_interface, 1));
    manager_ = static_cast<zwlr_screencopy_manager_v1*>(connection_.Bind(*manager, &zwlr_screencopy_manager_v1_interface, 3));
    if (xdg)
        xdgOutputs_ = static_cast<zxdg_output_manager_v1*>(connection_.Bind(*xdg, &zxdg_output_manager_v1_interface, 3));
    for (const Global& g : connection_.Globals()) {
        if (g.interface == "wl_output")
            AddOutput(g);
    }
    connection_.onGlobalAdded = [this](const Global& g) {
        if (g.interface == "wl_output")
            AddOutput(g);
    };
    // An output unplugged in the middle of a reading is dropped after it.
    connection_.onGlobalRemoved = [this](uint32_t name) {
        for (const auto& o : outputs_) {
            if (o->globalName == name)
                o->gone = true;
        }
    };
    connection_.Roundtrip(); // the outputs' places
}

WlrScreen::~WlrScreen()
{
    outputs_.clear();
    if (manager_)
        zwlr_screencopy_manager_v1_destroy(manager_);
    if (xdgOutputs_)
        zxdg_output_manager_v1_destroy(xdgOutputs_);
    if (shm_)
        wl_shm_destroy(shm_);
}

void WlrScreen::AddOutput(const Global& global)
{
    auto o = std::make_unique<Output>();
    o->screen = this;
    o->globalName = global.name;
    // Version 3 for wl_output_release; the events used are all in version 2.
    o->output = static_cast<wl_output*>(connection_.Bind(global, &wl_output_interface, 3));
    wl_output_add_listener(o->output, &kOutputListener, o.get());
    if (xdgOutputs_) {
        o->xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, o->output);
        zxdg_output_v1_add_listener(o->xdgOutput, &kXdgOutputListener, o.get());
    }
    outputs_.push_back(std::move(o));
}

bool WlrScreen::Capture(const std::vector<Output*>& outputs)
{
    static const zwlr_screencopy_frame_v1_listener listener = {
        .buffer = [](void* data, zwlr_screencopy_frame_v1* frame, uint32_t format, uint32_t width, uint32_t height,
                     uint32_t stride) {
            auto* o = static_cast<Output*>(data);
            o->format = format;
            o->width = width;
            o->height = height;
            o->stride = stride;
            o->bufferAnnounced = true;
            // Before version 3 the shared-memory offer is the only one: copy now.
            if (zwlr_screencopy_frame_v1_get_version(frame) < 3)
                StartCopy(o, o->screen->shm_);
        },
        .flags = [](void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
            static_cast<Output*>(data)->yInvert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
        },
        .ready = [](void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
            static_cast<Output*>(data)->ready = true;
        },
        .failed = [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Output*>(data)->failed = true; },
        .damage = [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {},
        .linux_dmabuf = [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {},
        .buffer_done = [](void* data, zwlr_screencopy_frame_v1*) {
            auto* o = static_cast<Output*>(data);
            if (o->bufferAnnounced)
                StartCopy(o, o->screen->shm_);
            else
                o->failed = true; // only GPU buffers on offer
        },
    };
    const auto start = std::chrono::steady_clock::now();
    for (Output* o : outputs) {
        o->ready = o->failed = o->bufferAnnounced = o->yInvert = false;
        o->frame = zwlr_screencopy_manager_v1_capture_output(manager_, 0, o->output);
        zwlr_screencopy_frame_v1_add_listener(o->frame, &listener, o);
    }
    const bool answered = connection_.DispatchUntil([&] {
        return std::all_of(outputs.begin(), outputs.end(), [](const Output* o) { return o->ready || o->failed; });
    });
    for (Output* o : outputs) {
        zwlr_screencopy_frame_v1_destroy(o->frame);
        o->frame = nullptr;
        if (!answered)
            o->ready = false;
    }
    lastCaptureMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return answered;
}

int32_t WlrScreen::PixelColor(Point p)
{
    int32_t color = kColorOutside;
    PixelColors({&p, 1}, {&color, 1});
    return color;
}

void WlrScreen::PixelColors(std::span<const Point> points, std::span<int32_t> colors)
{
    const size_t n = std::min(points.size(), colors.size());
    std::fill_n(colors.begin(), n, kColorOutside);
    if (!Ready() || n == 0)
        return;
    // Outputs plugged in or out since the last reading, and their places.
    std::erase_if(outputs_, [](const auto& o) { return o->gone; });
    if (!connection_.Roundtrip())
        return;
    std::vector<Output*> hit(n, nullptr);
    std::vector<Output*> needed;
    for (size_t i = 0; i < n; ++i) {
        for (const auto& o : outputs_) {
            if (o->Contains(points[i])) {
                hit[i] = o.get();
                if (std::find(needed.begin(), needed.end(), o.get()) == needed.end())
                    needed.push_back(o.get());
                break;
            }
        }
    }
    if (needed.empty() || !Capture(needed))
        return;
    for (size_t i = 0; i < n; ++i) {
        if (hit[i])
            colors[i] = hit[i]->ColorAt(points[i]);
    }
}

} // namespace zarvex::platform::wayland
