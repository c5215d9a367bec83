// A Wayland window for the tests, with the given title and its quarters in the
// given colours (top left, top right, bottom left, bottom right; one colour
// fills it), drawn at whatever size the compositor gives it; runs until killed.
// Where the compositor offers virtual pointers (wlroots), it also gives the
// seat a pointer, which headless sway has none of, so that sway's "seat -
// cursor" commands move and click with it as a hand on a mouse would.
//   wayland_test_client TITLE RRGGBB [RRGGBB RRGGBB RRGGBB]
#include "virtual-pointer-client-protocol.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>

#include <wayland-client.h>

#include <cstring>

namespace {

class Quarters : public QRasterWindow {
public:
    QColor colors[4]; // top left, top right, bottom left, bottom right

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const int w = width(), h = height();
        painter.fillRect(0, 0, w / 2, h / 2, colors[0]);
        painter.fillRect(w / 2, 0, w - w / 2, h / 2, colors[1]);
        painter.fillRect(0, h / 2, w / 2, h - h / 2, colors[2]);
        painter.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, colors[3]);
    }
};

const wl_registry_listener kRegistry = {
    .global = [](void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        const wl_interface& manager = zwlr_virtual_pointer_manager_v1_interface;
        if (std::strcmp(interface, manager.name) == 0) // on the compositor's default seat
            zwlr_virtual_pointer_manager_v1_create_virtual_pointer(
                static_cast<zwlr_virtual_pointer_manager_v1*>(wl_registry_bind(registry, name, &manager, 1)), nullptr);
    },
    .global_remove = [](void*, wl_registry*, uint32_t) {},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 6)
        return 2;
    // The pointer on a connection of its own, which lasts as long as the window.
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return 1;
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, nullptr);
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    qputenv("QT_QPA_PLATFORM", "wayland");
    qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1"); // the window is all quarters
    QGuiApplication app(argc, argv);
    Quarters window;
    for (int i = 0; i < 4; ++i)
        window.colors[i] = QColor(QString("#") + argv[argc == 6 ? 2 + i : 2]);
    window.setTitle(argv[1]);
    window.show();
    return app.exec();
}
