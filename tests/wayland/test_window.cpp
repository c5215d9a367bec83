// A plain Wayland window for the tests: a top-level window with the given
// title, its quarters in the given colours (top left, top right, bottom
// left, bottom right; the top ones repeat below when only two are given),
// drawn at whatever size the compositor gives it. Runs until killed.
//   wayland_test_window TITLE RRGGBB RRGGBB [RRGGBB RRGGBB]
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Window {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
    wl_surface* surface = nullptr;
    uint32_t colors[4] = {}; // XRGB: top left, top right, bottom left, bottom right
    int32_t width = 0, height = 0;
};

void Draw(Window& w)
{
    const int32_t width = w.width > 0 ? w.width : 400;
    const int32_t height = w.height > 0 ? w.height : 300;
    const int32_t stride = width * 4;
    const auto size = static_cast<size_t>(stride) * static_cast<size_t>(height);
    const int fd = memfd_create("test-window", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
        std::exit(1);
    auto* pixels = static_cast<uint32_t*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x)
            pixels[y * width + x] = w.colors[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)];
    }
    munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(w.shm, fd, static_cast<int32_t>(size));
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    static const wl_buffer_listener release = {
        .release = [](void*, wl_buffer* b) { wl_buffer_destroy(b); },
    };
    wl_buffer_add_listener(buffer, &release, nullptr);
    wl_surface_attach(w.surface, buffer, 0, 0);
    wl_surface_damage(w.surface, 0, 0, width, height);
    wl_surface_commit(w.surface);
}

const wl_registry_listener kRegistry = {
    .global = [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        auto* w = static_cast<Window*>(data);
        if (std::strcmp(interface, "wl_compositor") == 0)
            w->compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
        else if (std::strcmp(interface, "wl_shm") == 0)
            w->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        else if (std::strcmp(interface, "xdg_wm_base") == 0)
            w->wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    },
    .global_remove = [](void*, wl_registry*, uint32_t) {},
};

const xdg_wm_base_listener kWmBase = {
    .ping = [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const xdg_surface_listener kXdgSurface = {
    .configure = [](void* data, xdg_surface* surface, uint32_t serial) {
        xdg_surface_ack_configure(surface, serial);
        Draw(*static_cast<Window*>(data));
    },
};

const xdg_toplevel_listener kToplevel = {
    .configure = [](void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
        auto* w = static_cast<Window*>(data);
        w->width = width;
        w->height = height;
    },
    .close = [](void*, xdg_toplevel*) { std::exit(0); },
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 6) {
        std::fprintf(stderr, "usage: %s TITLE RRGGBB RRGGBB [RRGGBB RRGGBB]\n", argv[0]);
        return 2;
    }
    Window w;
    for (int i = 0; i < 4; ++i)
        w.colors[i] = static_cast<uint32_t>(std::stoul(argv[2 + (argc == 6 ? i : i % 2)], nullptr, 16));
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, &w);
    wl_display_roundtrip(display);
    if (!w.compositor || !w.shm || !w.wmBase)
        return 1;
    xdg_wm_base_add_listener(w.wmBase, &kWmBase, nullptr);
    w.surface = wl_compositor_create_surface(w.compositor);
    xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(w.wmBase, w.surface);
    xdg_surface_add_listener(xdgSurface, &kXdgSurface, &w);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_add_listener(toplevel, &kToplevel, &w);
    xdg_toplevel_set_title(toplevel, argv[1]);
    xdg_toplevel_set_app_id(toplevel, "zarvex-test-window");
    wl_surface_commit(w.surface);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
