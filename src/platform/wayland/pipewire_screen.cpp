#include "platform/wayland/pipewire_screen.h"

// PipeWire's headers are C written with compound literals and unnamed
// structure fields; their macros expand in this file.
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wshadow"
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace zarvex::platform::wayland {

namespace {

struct Stream {
    CastStream place;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    spa_video_info_raw format{};
    // The newest frame, rows packed without padding; guarded by the loop lock.
    std::vector<uint8_t> pixels;
    uint32_t width = 0, height = 0;
    bool bgr = true; // BGRx/BGRA bytes, otherwise RGBx/RGBA
    // The pointer, where the desktop sends it along with the frames: its
    // place in this stream's frame, when it is over this monitor.
    bool cursorMeta = false; // a position has come: this desktop sends it
    bool cursorHere = false;
    int32_t cursorX = 0, cursorY = 0;
};

// Room for the cursor metadata with a bitmap of up to 256x256 pixels.
constexpr int CursorMetaSize(int side)
{
    return static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + side * side * 4;
}

} // namespace

struct PipeWireScreen::Impl {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    std::vector<std::unique_ptr<Stream>> streams;
};

namespace {

void OnParamChanged(void* data, uint32_t id, const spa_pod* param)
{
    auto* s = static_cast<Stream*>(data);
    if (!param || id != SPA_PARAM_Format)
        return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0)
        return;
    s->format = info;
    uint8_t buffer[256];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* params[2];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(&b,
        SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
        SPA_PARAM_BUFFERS_dataType, SPA_POD_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(&b,
        SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
        SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
        SPA_PARAM_META_size, SPA_POD_CHOICE_RANGE_Int(CursorMetaSize(64), CursorMetaSize(1), CursorMetaSize(256))));
    pw_stream_update_params(s->stream, params, 2);
}

void OnProcess(void* data)
{
    auto* s = static_cast<Stream*>(data);
    pw_buffer* newest = nullptr;
    // Only the newest queued frame matters; older ones go straight back.
    while (pw_buffer* b = pw_stream_dequeue_buffer(s->stream)) {
        if (newest)
            pw_stream_queue_buffer(s->stream, newest);
        newest = b;
    }
    if (!newest)
        return;
    spa_buffer* buf = newest->buffer;
    // An id of 0 means no news about the pointer: it stays where it was.
    if (const auto* cursor = static_cast<const spa_meta_cursor*>(spa_buffer_find_meta_data(buf, SPA_META_Cursor, sizeof(spa_meta_cursor)))) {
        if (spa_meta_cursor_is_valid(cursor)) {
            s->cursorMeta = true;
            s->cursorX = cursor->position.x;
            s->cursorY = cursor->position.y;
            s->cursorHere = s->cursorX >= 0 && s->cursorY >= 0 && static_cast<uint32_t>(s->cursorX) < s->format.size.width
                && static_cast<uint32_t>(s->cursorY) < s->format.size.height;
        }
    }
    const spa_data& d = buf->datas[0];
    const uint32_t width = s->format.size.width, height = s->format.size.height;
    const bool known = s->format.format == SPA_VIDEO_FORMAT_BGRx || s->format.format == SPA_VIDEO_FORMAT_BGRA
        || s->format.format == SPA_VIDEO_FORMAT_RGBx || s->format.format == SPA_VIDEO_FORMAT_RGBA;
    if (known && d.data && d.chunk && width && height) {
        const uint32_t stride = d.chunk->stride > 0 ? static_cast<uint32_t>(d.chunk->stride) : width * 4;
        const size_t offset = d.chunk->offset % std::max<uint32_t>(d.maxsize, 1);
        if (offset + static_cast<size_t>(stride) * (height - 1) + width * 4 <= d.maxsize) {
            s->pixels.resize(static_cast<size_t>(width) * height * 4);
            const auto* src = static_cast<const uint8_t*>(d.data) + offset;
            for (uint32_t row = 0; row < height; ++row)
                std::memcpy(&s->pixels[static_cast<size_t>(row) * width * 4], src + static_cast<size_t>(row) * stride, width * 4);
            s->width = width;
            s->height = height;
            s->bgr = s->format.format == SPA_VIDEO_FORMAT_BGRx || s->format.format == SPA_VIDEO_FORMAT_BGRA;
        }
    }
    pw_stream_queue_buffer(s->stream, newest);
}

// A stream that stops (its monitor unplugged, the cast ended or paused)
// keeps no frame: its pixels read as unknown instead of as they last were.
void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*)
{
    auto* s = static_cast<Stream*>(data);
    if (state != PW_STREAM_STATE_STREAMING) {
        s->pixels.clear();
        s->width = s->height = 0;
        s->cursorHere = false;
    }
}

const pw_stream_events kStreamEvents = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = OnStateChanged;
    e.param_changed = OnParamChanged;
    e.process = OnProcess;
    return e;
}();

// Raw video in a 32-bit RGB layout, any size and rate the node offers.
const spa_pod* FormatParam(spa_pod_builder* b)
{
    const spa_rectangle minSize{1, 1}, defSize{1280, 800}, maxSize{16384, 16384};
    const spa_fraction minRate{0, 1}, defRate{5, 1}, maxRate{240, 1};
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(b,
        SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat,
        SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format, SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
            SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defRate, &minRate, &maxRate)));
}

} // namespace

PipeWireScreen::PipeWireScreen(std::vector<CastStream> streams, int remoteFd) : impl_(std::make_unique<Impl>())
{
    pw_init(nullptr, nullptr);
    impl_->loop = pw_thread_loop_new("zarvex-screen", nullptr);
    if (!impl_->loop)
        return;
    impl_->context = pw_context_new(pw_thread_loop_get_loop(impl_->loop), nullptr, 0);
    if (!impl_->context || pw_thread_loop_start(impl_->loop) < 0)
        return;
    pw_thread_loop_lock(impl_->loop);
    impl_->core = remoteFd >= 0 ? pw_context_connect_fd(impl_->context, remoteFd, nullptr, 0)
                                : pw_context_connect(impl_->context, nullptr, 0);
    for (const CastStream& place : streams) {
        if (!impl_->core)
            break;
        auto s = std::make_unique<Stream>();
        s->place = place;
        // Named after the node it reads, so that each stream can be told apart.
        const std::string name = "zarvex-screen-" + std::to_string(place.nodeId);
        s->stream = pw_stream_new(impl_->core, name.c_str(),
            pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Screen",
                              PW_KEY_NODE_NAME, name.c_str(), nullptr));
        if (!s->stream)
            continue;
        pw_stream_add_listener(s->stream, &s->listener, &kStreamEvents, s.get());
        uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_pod* params[] = {FormatParam(&b)};
        pw_stream_connect(s->stream, PW_DIRECTION_INPUT, place.nodeId,
                          static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
        impl_->streams.push_back(std::move(s));
    }
    pw_thread_loop_unlock(impl_->loop);
}

PipeWireScreen::~PipeWireScreen()
{
    if (impl_->loop)
        pw_thread_loop_stop(impl_->loop);
    for (const auto& s : impl_->streams)
        pw_stream_destroy(s->stream);
    if (impl_->core)
        pw_core_disconnect(impl_->core);
    if (impl_->context)
        pw_context_destroy(impl_->context);
    if (impl_->loop)
        pw_thread_loop_destroy(impl_->loop);
}

bool PipeWireScreen::Ready() const
{
    return impl_->core && !impl_->streams.empty();
}

Point PipeWireScreen::CursorPosition()
{
    Point p;
    if (!Ready())
        return p;
    pw_thread_loop_lock(impl_->loop);
    for (const auto& s : impl_->streams) {
        if (s->cursorHere && s->width > 0) {
            // Frame pixels back to the monitor's logical rectangle.
            p.x = s->place.x + static_cast<int32_t>(int64_t{s->cursorX} * s->place.width / s->width);
            p.y = s->place.y + static_cast<int32_t>(int64_t{s->cursorY} * s->place.height / s->height);
            break;
        }
    }
    pw_thread_loop_unlock(impl_->loop);
    return p;
}

bool PipeWireScreen::KnowsCursorPosition() const
{
    if (!Ready())
        return false;
    pw_thread_loop_lock(impl_->loop);
    const bool known = std::any_of(impl_->streams.begin(), impl_->streams.end(), [](const auto& s) { return s->cursorMeta; });
    pw_thread_loop_unlock(impl_->loop);
    return known;
}

int32_t PipeWireScreen::PixelColor(Point p)
{
    int32_t color = kColorOutside;
    PixelColors({&p, 1}, {&color, 1});
    return color;
}

void PipeWireScreen::PixelColors(std::span<const Point> points, std::span<int32_t> colors)
{
    const size_t n = std::min(points.size(), colors.size());
    std::fill_n(colors.begin(), n, kColorOutside);
    if (!Ready())
        return;
    pw_thread_loop_lock(impl_->loop);
    for (size_t i = 0; i < n; ++i) {
        const Point p = points[i];
        for (const auto& s : impl_->streams) {
            const CastStream& r = s->place;
            if (s->width == 0 || r.width <= 0 || r.height <= 0 || p.x < r.x || p.y < r.y || p.x - r.x >= r.width
                || p.y - r.y >= r.height)
                continue;
            const auto col = static_cast<size_t>(int64_t{p.x - r.x} * s->width / r.width);
            const auto row = static_cast<size_t>(int64_t{p.y - r.y} * s->height / r.height);
            const uint8_t* px = &s->pixels[(row * s->width + col) * 4];
            colors[i] = s->bgr ? PackColor(px[2], px[1], px[0]) : PackColor(px[0], px[1], px[2]);
            break;
        }
    }
    pw_thread_loop_unlock(impl_->loop);
}

} // namespace zarvex::platform::wayland
