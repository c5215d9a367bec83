// A PipeWire video source for the tests standing for a monitor's screen cast
// whose frames carry the pointer's position as cursor metadata (GNOME and
// KDE Plasma send it so): 320x200 BGRx frames of #336699, the cursor at X,Y
// of the frame, a frame every 100 ms. Runs until killed.
//   test_cursor_source NAME X Y
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr uint32_t kWidth = 320, kHeight = 200, kStride = kWidth * 4;

pw_stream* stream = nullptr;
int32_t cursorX = 0, cursorY = 0;

// Once the format is agreed: buffers of a whole frame, with room for the cursor.
void OnParamChanged(void*, uint32_t id, const spa_pod* param)
{
    if (!param || id != SPA_PARAM_Format)
        return;
    uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* params[] = {
        static_cast<const spa_pod*>(spa_pod_builder_add_object(&b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(kStride * kHeight), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(kStride))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(&b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
            SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
            SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + 64 * 64 * 4)))};
    pw_stream_update_params(stream, params, 2);
}

void OnProcess(void*)
{
    pw_buffer* b = pw_stream_dequeue_buffer(stream);
    if (!b)
        return;
    spa_data& d = b->buffer->datas[0];
    if (d.data && d.maxsize >= kStride * kHeight) {
        std::fill_n(static_cast<uint32_t*>(d.data), kWidth * kHeight, 0x00336699u); // B, G, R, x in memory
        *d.chunk = {0, kStride * kHeight, kStride, 0};
    }
    if (auto* cursor = static_cast<spa_meta_cursor*>(spa_buffer_find_meta_data(b->buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)))) {
        *cursor = {};
        cursor->id = 1;
        cursor->position = {cursorX, cursorY};
    }
    pw_stream_queue_buffer(stream, b);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    pw_init(&argc, &argv);
    cursorX = std::atoi(argv[2]);
    cursorY = std::atoi(argv[3]);
    pw_main_loop* loop = pw_main_loop_new(nullptr);
    static const pw_stream_events events = {
        .version = PW_VERSION_STREAM_EVENTS, .param_changed = OnParamChanged, .process = OnProcess};
    stream = pw_stream_new_simple(pw_main_loop_get_loop(loop), argv[1],
        pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_NODE_NAME, argv[1], nullptr), &events, nullptr);
    uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_rectangle size{kWidth, kHeight};
    const spa_fraction rate{10, 1};
    const spa_pod* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(&b, SPA_TYPE_OBJECT_Format,
        SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx),
        SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
    // A driver produces at its own pace, here on a timer.
    pw_stream_connect(stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                      static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), &format, 1);
    spa_source* timer = pw_loop_add_timer(pw_main_loop_get_loop(loop),
        [](void*, uint64_t) { pw_stream_trigger_process(stream); }, nullptr);
    timespec interval{0, 100 * 1000 * 1000};
    pw_loop_update_timer(pw_main_loop_get_loop(loop), timer, &interval, &interval, false);
    pw_main_loop_run(loop);
    return 0;
}
