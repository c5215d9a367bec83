#include "platform/x11/x11_screen.h"

#include <xcb/randr.h>
#include <xcb/shm.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zarvex::platform::x11 {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Own(T* reply)
{
    return Reply<T>(reply, &std::free);
}

// The colour channel under `mask` scaled to 8 bits.
uint8_t Channel(uint32_t pixel, uint32_t mask)
{
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const uint32_t value = (pixel & mask) >> shift;
    return static_cast<uint8_t>(bits >= 8 ? value >> (bits - 8) : (value * 255u) / ((1u << bits) - 1u));
}

} // namespace

X11Screen::X11Screen(const char* displayName) : connection_(xcb_connect(displayName, nullptr))
{
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return;
    }
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    root_ = screen->root;
    rootWidth_ = screen->width_in_pixels;
    rootHeight_ = screen->height_in_pixels;
    depth_ = screen->root_depth;
    lsbFirst_ = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;

    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == depth_) {
            bitsPerPixel_ = f.data->bits_per_pixel;
            scanlinePad_ = f.data->scanline_pad;
        }
    }
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual) {
                redMask_ = v.data->red_mask;
                greenMask_ = v.data->green_mask;
                blueMask_ = v.data->blue_mask;
            }
        }
    }

    // RandR 1.5 names the monitors; without it the root is the one monitor.
    const auto version = Own(xcb_randr_query_version_reply(
        connection_, xcb_randr_query_version(connection_, 1, 5), nullptr));
    haveRandr_ = version && (version->major_version > 1 || version->minor_version >= 5);
}

X11Screen::~X11Screen()
{
    if (connection_) {
        DetachSharedMemory();
        xcb_flush(connection_);
        xcb_disconnect(connection_);
    }
}

bool X11Screen::AttachSharedMemory()
{
    const size_t bytes = static_cast<size_t>(rootWidth_) * static_cast<size_t>(rootHeight_) * 4;
    if (shmData_ && bytes <= shmBytes_)
        return true;
    DetachCapture(); // too small for the screen as it is now
    const auto version = Own(xcb_shm_query_version_reply(connection_, xcb_shm_query_version(connection_), nullptr));
    if (!version)
        return false;
    shmId_ = ::shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shmId_ < 0)
        return false;
    void* data = ::shmat(shmId_, nullptr, 0);
    if (data == reinterpret_cast<void*>(-1)) {
        ::shmctl(shmId_, IPC_RMID, nullptr);
        shmId_ = -1;
        return false;
    }
    shmSegment_ = xcb_generate_id(connection_);
    // The server must attach before the segment is marked for removal; a
    // server elsewhere (a remote display) cannot attach at all.
    xcb_generic_error_t* error = xcb_request_check(connection_, xcb_shm_attach_checked(connection_, shmSegment_, static_cast<uint32_t>(shmId_), 0));
    ::shmctl(shmId_, IPC_RMID, nullptr);
    if (error) {
        std::free(error);
        ::shmdt(data);
        shmId_ = -1;
        return false;
    }
    shmData_ = static_cast<uint8_t*>(data);
    shmBytes_ = bytes;
    return true;
}

bool X11Screen::SetUpGather()
{
    if (gatherTried_)
        return gatherReady_;
    gatherTried_ = true;
    if (!shmAllowed_ || bitsPerPixel_ != 32)
        return false;
    const auto version = Own(xcb_shm_query_version_reply(connection_, xcb_shm_query_version(connection_), nullptr));
    if (!version || !version->shared_pixmaps || version->pixmap_format != XCB_IMAGE_FORMAT_Z_PIXMAP)
        return false;
    const size_t bytes = static_cast<size_t>(kGatherWidth) * kGatherRows * 4;
    const int id = ::shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void* data = ::shmat(id, nullptr, 0);
    if (data == reinterpret_cast<void*>(-1)) {
        ::shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    gatherSegment_ = xcb_generate_id(connection_);
    xcb_generic_error_t* error
        = xcb_request_check(connection_, xcb_shm_attach_checked(connection_, gatherSegment_, static_cast<uint32_t>(id), 0));
    ::shmctl(id, IPC_RMID, nullptr);
    if (error) {
        std::free(error);
        ::shmdt(data);
        return false;
    }
    gatherPixmap_ = xcb_generate_id(connection_);
    error = xcb_request_check(connection_, xcb_shm_create_pixmap_checked(connection_, gatherPixmap_, root_, kGatherWidth,
                                                                         kGatherRows, depth_, gatherSegment_, 0));
    if (error) {
        std::free(error);
        xcb_shm_detach(connection_, gatherSegment_);
        ::shmdt(data);
        return false;
    }
    // Copies from the root must include what the windows on it show, and
    // must not ask for exposure events.
    gatherGc_ = xcb_generate_id(connection_);
    const uint32_t values[] = {XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS, 0};
    xcb_create_gc(connection_, gatherGc_, gatherPixmap_, XCB_GC_SUBWINDOW_MODE | XCB_GC_GRAPHICS_EXPOSURES, values);
    gatherData_ = static_cast<uint8_t*>(data);
    gatherReady_ = true;
    return true;
}

bool X11Screen::Gather(std::span<const Point> points, const std::vector<size_t>& which, std::span<int32_t> colors)
{
    if (which.size() > static_cast<size_t>(kGatherWidth) * kGatherRows || !SetUpGather())
        return false;
    for (size_t k = 0; k < which.size(); ++k) {
        const Point p = points[which[k]];
        xcb_copy_area(connection_, root_, gatherPixmap_, gatherGc_, static_cast<int16_t>(p.x), static_cast<int16_t>(p.y),
                      static_cast<int16_t>(k % kGatherWidth), static_cast<int16_t>(k / kGatherWidth), 1, 1);
    }
    // The server handles requests in order: once this reply is here, every
    // copy above has landed in the shared memory.
    const auto sync = Own(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    if (!sync)
        return false;
    for (size_t k = 0; k < which.size(); ++k)
        colors[which[k]] = Convert(gatherData_ + k * 4);
    return true;
}

void X11Screen::DetachSharedMemory()
{
    if (gatherReady_) {
        xcb_free_gc(connection_, gatherGc_);
        xcb_free_pixmap(connection_, gatherPixmap_);
        xcb_shm_detach(connection_, gatherSegment_);
        ::shmdt(gatherData_);
        gatherReady_ = false;
        gatherData_ = nullptr;
    }
    DetachCapture();
}

void X11Screen::DetachCapture()
{
    if (!shmData_)
        return;
    xcb_shm_detach(connection_, shmSegment_);
    xcb_flush(connection_);
    ::shmdt(shmData_);
    shmData_ = nullptr;
    shmBytes_ = 0;
}

const uint8_t* X11Screen::Capture(int32_t x, int32_t y, int32_t width, int32_t height, size_t& stride)
{
    stride = ((static_cast<size_t>(width) * bitsPerPixel_ + scanlinePad_ - 1) / scanlinePad_) * scanlinePad_ / 8;
    const auto x16 = static_cast<int16_t>(x), y16 = static_cast<int16_t>(y);
    const auto w16 = static_cast<uint16_t>(width), h16 = static_cast<uint16_t>(height);
    if (shmAllowed_ && (shmAvailable_ = AttachSharedMemory())) {
        const auto reply = Own(xcb_shm_get_image_reply(
            connection_,
            xcb_shm_get_image(connection_, root_, x16, y16, w16, h16, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, shmSegment_, 0),
            nullptr));
        if (reply)
            return shmData_;
        DetachCapture(); // do not try again
        shmAllowed_ = false;
    }
    lastImage_.reset(xcb_get_image_reply(
        connection_, xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, x16, y16, w16, h16, ~0u), nullptr));
    if (!lastImage_ || static_cast<size_t>(xcb_get_image_data_length(lastImage_.get())) < stride * static_cast<size_t>(height))
        return nullptr;
    return xcb_get_image_data(lastImage_.get());
}

Point X11Screen::CursorPosition()
{
    const auto reply = Own(xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr));
    if (!reply)
        return {};
    return {reply->root_x, reply->root_y};
}

uint32_t X11Screen::AskMonitors()
{
    return haveRandr_ ? xcb_randr_get_monitors(connection_, root_, 1).sequence : 0;
}

std::vector<X11Screen::Rect> X11Screen::TakeMonitors(uint32_t sequence)
{
    std::vector<Rect> monitors;
    if (haveRandr_) {
        const auto reply = Own(xcb_randr_get_monitors_reply(connection_, xcb_randr_get_monitors_cookie_t{sequence}, nullptr));
        if (reply) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem;
                 xcb_randr_monitor_info_next(&it))
                monitors.push_back({it.data->x, it.data->y, it.data->width, it.data->height});
        }
    }
    if (monitors.empty()) {
        monitors.push_back({0, 0, rootWidth_, rootHeight_});
    } else {
        // The root always covers every monitor: after a resize it is at
        // least their bounding box (points outside the monitors read as
        // all ones anyway).
        for (const Rect& m : monitors) {
            rootWidth_ = std::max(rootWidth_, m.x + m.width);
            rootHeight_ = std::max(rootHeight_, m.y + m.height);
        }
    }
    return monitors;
}

std::vector<X11Screen::Rect> X11Screen::Monitors()
{
    return TakeMonitors(AskMonitors());
}

int32_t X11Screen::Convert(const uint8_t* p) const
{
    uint32_t pixel = 0;
    const int bytes = bitsPerPixel_ / 8;
    for (int i = 0; i < bytes; ++i) {
        const int at = lsbFirst_ ? i : bytes - 1 - i;
        pixel |= uint32_t{p[at]} << (8 * i);
    }
    return PackColor(Channel(pixel, redMask_), Channel(pixel, greenMask_), Channel(pixel, blueMask_));
}

int32_t X11Screen::PixelColor(Point p)
{
    if (p.x < 0 || p.y < 0 || p.x >= rootWidth_ || p.y >= rootHeight_)
        return kColorOutside;
    if (bitsPerPixel_ < 8 || bitsPerPixel_ > 32 || bitsPerPixel_ % 8 != 0)
        return kColorOutside; // a pixel layout this reader does not know

    // Both questions travel together: one round trip to the server.
    const uint32_t monitorsAsked = AskMonitors();
    const xcb_get_image_cookie_t image = xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_,
                                                       static_cast<int16_t>(p.x), static_cast<int16_t>(p.y), 1, 1, ~0u);
    const std::vector<Rect> monitors = TakeMonitors(monitorsAsked);
    const auto reply = Own(xcb_get_image_reply(connection_, image, nullptr));

    // Outside every monitor (holes between monitors of different sizes
    // included) there is no pixel; the root holds undefined data there.
    bool inside = false;
    for (const Rect& m : monitors)
        inside = inside || m.Contains(p);
    if (!inside || !reply || xcb_get_image_data_length(reply.get()) < bitsPerPixel_ / 8)
        return kColorOutside;
    return Convert(xcb_get_image_data(reply.get()));
}

// Costs in bytes of a captured rectangle, as measured on a local server
// (bench/sampling_bench.sh, 1920x1080): a capture moves about 3 bytes a
// nanosecond; a single-pixel request with its reply costs about 5 us (15 KB
// of capture), a reply-less copy about 0.25 us (750 bytes).
constexpr double kSingleCostPerPoint = 15000.0;
constexpr double kGatherCostPerPoint = 750.0;

void X11Screen::PixelColors(std::span<const Point> points, std::span<int32_t> colors)
{
    const size_t n = std::min(points.size(), colors.size());
    std::fill_n(colors.begin(), n, kColorOutside);
    if (n == 0 || bitsPerPixel_ < 8 || bitsPerPixel_ > 32 || bitsPerPixel_ % 8 != 0)
        return;

    // Which points have a pixel at all, and the rectangle around them.
    const std::vector<Rect> monitors = Monitors();
    std::vector<size_t> inside;
    inside.reserve(n);
    int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
    for (size_t i = 0; i < n; ++i) {
        const Point p = points[i];
        if (p.x < 0 || p.y < 0 || p.x >= rootWidth_ || p.y >= rootHeight_)
            continue;
        if (std::none_of(monitors.begin(), monitors.end(), [p](const Rect& m) { return m.Contains(p); }))
            continue;
        inside.push_back(i);
        left = std::min(left, p.x);
        top = std::min(top, p.y);
        right = std::max(right, p.x);
        bottom = std::max(bottom, p.y);
    }
    if (inside.empty())
        return;
    const int32_t width = right - left + 1, height = bottom - top + 1;
    const int bytes = bitsPerPixel_ / 8;

    // A capture moves the whole rectangle; single requests move a reply each
    // (32 bytes of header and a pixel). Few far-apart points go one by one,
    // all requests sent before the first reply is read.
    const double captureCost = static_cast<double>(width) * height * bytes;
    const double gatherCost = static_cast<double>(inside.size()) * kGatherCostPerPoint;
    if (gatherCost < captureCost && shmAllowed_ && Gather(points, inside, colors))
        return;
    const double singleCost = static_cast<double>(inside.size()) * kSingleCostPerPoint;
    if (singleCost < captureCost) {
        std::vector<xcb_get_image_cookie_t> cookies(inside.size());
        for (size_t k = 0; k < inside.size(); ++k) {
            const Point p = points[inside[k]];
            cookies[k] = xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<int16_t>(p.x),
                                       static_cast<int16_t>(p.y), 1, 1, ~0u);
        }
        for (size_t k = 0; k < inside.size(); ++k) {
            const auto reply = Own(xcb_get_image_reply(connection_, cookies[k], nullptr));
            if (reply && xcb_get_image_data_length(reply.get()) >= bytes)
                colors[inside[k]] = Convert(xcb_get_image_data(reply.get()));
        }
        return;
    }

    size_t stride = 0;
    const uint8_t* image = Capture(left, top, width, height, stride);
    if (!image)
        return;
    for (const size_t i : inside) {
        const Point p = points[i];
        colors[i] = Convert(image + static_cast<size_t>(p.y - top) * stride + static_cast<size_t>(p.x - left) * static_cast<size_t>(bytes));
    }
    lastImage_.reset(); // a full frame is megabytes: not kept between passes
}

} // namespace zarvex::platform::x11
