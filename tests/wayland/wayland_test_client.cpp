// A Wayland window for the tests, with the given title and its quarters in the
// given colours (top left, top right, bottom left, bottom right; one colour
// fills it), drawn at whatever size the compositor gives it; runs until killed.
// Where the compositor offers virtual pointers (wlroots), it also gives the
// seat a pointer, which headless sway has none of, so that sway's "seat -
// cursor" commands move and click with it as a hand on a mouse would.
//   wayland_test_client TITLE RRGGBB [RRGGBB RRGGBB RRGGBB]
#include "virtual-pointer-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

wl_compositor* compositor = nullptr;
wl_shm* shm = nullptr;
xdg_wm_base* wmBase = nullptr;
wl_seat* seat = nullptr;
zwlr_virtual_pointer_manager_v1* pointers = nullptr;
wl_surface* surface = nullptr;
uint32_t colors[4] = {}; // XRGB: top left, top right, bottom left, bottom right
int32_t width = 0, height = 0; // as the compositor configures the window; 0: ours to choose

template <typename T>
void Bind(wl_registry* registry, uint32_t name, const char* interface, const wl_interface& wanted, T*& into)
{
    if (std::strcmp(interface, wanted.name) == 0)
        into = static_cast<T*>(wl_registry_bind(registry, name, &wanted, 1));
}

const wl_registry_listener kRegistry = {
    .global = [](void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        Bind(registry, name, interface, wl_compositor_interface, compositor);
        Bind(registry, name, interface, wl_shm_interface, shm);
        Bind(registry, name, interface, xdg_wm_base_interface, wmBase);
        Bind(registry, name, interface, wl_seat_interface, seat);
        Bind(registry, name, interface, zwlr_virtual_pointer_manager_v1_interface, pointers);
    },
    .global_remove = [](void*, wl_registry*, uint32_t) {},
};

void Draw()
{
    const int32_t w = width > 0 ? width : 400, h = height > 0 ? height : 300;
    const auto size = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    const int fd = memfd_create("test-window", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
        std::exit(1);
    auto* pixels = static_cast<uint32_t*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            pixels[y * w + x] = colors[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)];
    munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, w, h, w * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    static const wl_buffer_listener release = {
        .release = [](void*, wl_buffer* b) { wl_buffer_destroy(b); },
    };
    wl_buffer_add_listener(buffer, &release, nullptr);
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_damage(surface, 0, 0, w, h);
    wl_surface_commit(surface);
}

const xdg_wm_base_listener kWmBase = {
    .ping = [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const xdg_surface_listener kXdgSurface = {
    .configure = [](void*, xdg_surface* xdgSurface, uint32_t serial) {
        xdg_surface_ack_configure(xdgSurface, serial);
        Draw();
    },
};

const xdg_toplevel_listener kToplevel = {
    .configure = [](void*, xdg_toplevel*, int32_t w, int32_t h, wl_array*) {
        width = w;
        height = h;
    },
    .close = [](void*, xdg_toplevel*) { std::exit(0); },
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 6)
        return 2;
    for (int i = 0; i < 4; ++i)
        colors[i] = static_cast<uint32_t>(std::stoul(argv[argc == 6 ? 2 + i : 2], nullptr, 16));
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return 1;
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, nullptr);
    wl_display_roundtrip(display);
    if (!compositor || !shm || !wmBase)
        return 1;
    if (pointers)
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
    xdg_wm_base_add_listener(wmBase, &kWmBase, nullptr);
    surface = wl_compositor_create_surface(compositor);
    xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, surface);
    xdg_surface_add_listener(xdgSurface, &kXdgSurface, nullptr);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_add_listener(toplevel, &kToplevel, nullptr);
    xdg_toplevel_set_title(toplevel, argv[1]);
    wl_surface_commit(surface);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
