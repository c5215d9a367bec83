#include "platform/wayland/wlr_windows.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>

namespace zarvex::platform::wayland {

struct WlrWindows::Toplevel {
    zwlr_foreign_toplevel_handle_v1* handle = nullptr;
    WindowHandle id = 0;
    // What the compositor has confirmed with `done`, and what it is sending.
    std::string title, pendingTitle;
    bool activated = false, pendingActivated = false;
    bool announced = false; // a first `done` came: the window is complete
    bool closed = false;
};

namespace {

const zwlr_foreign_toplevel_handle_v1_listener kToplevelListener = {
    .title = [](void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
        static_cast<WlrWindows::Toplevel*>(data)->pendingTitle = title;
    },
    .app_id = [](void*, zwlr_foreign_toplevel_handle_v1*, const char*) {},
    .output_enter = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
    .output_leave = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
    .state = [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
        auto* t = static_cast<WlrWindows::Toplevel*>(data);
        t->pendingActivated = false;
        const auto* begin = static_cast<const uint32_t*>(states->data);
        for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
            if (begin[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
                t->pendingActivated = true;
        }
    },
    .done = [](void* data, zwlr_foreign_toplevel_handle_v1*) {
        auto* t = static_cast<WlrWindows::Toplevel*>(data);
        t->title = t->pendingTitle;
        t->activated = t->pendingActivated;
        t->announced = true;
    },
    .closed = [](void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        auto* t = static_cast<WlrWindows::Toplevel*>(data);
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        t->handle = nullptr;
        t->closed = true; // dropped from the list by the next call
    },
    .parent = [](void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {},
};

} // namespace

WlrWindows::WlrWindows(const char* displayName) : connection_(displayName)
{
    if (!connection_.Connected())
        return;
    const Global* manager = connection_.Find("zwlr_foreign_toplevel_manager_v1");
    const Global* seat = connection_.Find("wl_seat");
    if (!manager || !seat)
        return;
    seat_ = static_cast<wl_seat*>(connection_.Bind(*seat, &wl_seat_interface, 1));
    manager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        connection_.Bind(*manager, &zwlr_foreign_toplevel_manager_v1_interface, 3));
    static const zwlr_foreign_toplevel_manager_v1_listener listener = {
        .toplevel = [](void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
            auto* self = static_cast<WlrWindows*>(data);
            auto t = std::make_unique<Toplevel>();
            t->handle = handle;
            t->id = self->nextHandle_++;
            zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kToplevelListener, t.get());
            self->toplevels_.push_back(std::move(t));
        },
        .finished = [](void* data, zwlr_foreign_toplevel_manager_v1* finished) {
            auto* self = static_cast<WlrWindows*>(data);
            zwlr_foreign_toplevel_manager_v1_destroy(finished);
            self->manager_ = nullptr;
        },
    };
    zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &listener, this);
    connection_.Roundtrip(); // the windows there are now
}

WlrWindows::~WlrWindows()
{
    for (const auto& t : toplevels_) {
        if (t->handle)
            zwlr_foreign_toplevel_handle_v1_destroy(t->handle);
    }
    if (manager_)
        zwlr_foreign_toplevel_manager_v1_destroy(manager_);
    if (seat_)
        wl_seat_destroy(seat_);
}

const WlrWindows::Toplevel* WlrWindows::Find(WindowHandle window) const
{
    const auto it = std::find_if(toplevels_.begin(), toplevels_.end(),
                                 [window](const auto& t) { return t->id == window && t->announced && !t->closed; });
    return it == toplevels_.end() ? nullptr : it->get();
}

bool WlrWindows::Refresh()
{
    if (!connection_.Connected() || !connection_.Roundtrip())
        return false;
    std::erase_if(toplevels_, [](const auto& t) { return t->closed; });
    return true;
}

void WlrWindows::EnumWindows(const std::function<bool(WindowHandle)>& visit)
{
    if (!Refresh())
        return;
    std::vector<WindowHandle> order;
    for (const auto& t : toplevels_) {
        if (t->announced && t->activated)
            order.push_back(t->id);
    }
    for (const auto& t : toplevels_) {
        if (t->announced && !t->activated)
            order.push_back(t->id);
    }
    for (const WindowHandle w : order) {
        if (!visit(w))
            return;
    }
}

std::string WlrWindows::WindowText(WindowHandle window)
{
    const Toplevel* t = Find(window);
    return t ? t->title : std::string();
}

WindowHandle WlrWindows::ForegroundWindow()
{
    if (!Refresh())
        return 0;
    for (const auto& t : toplevels_) {
        if (t->announced && t->activated)
            return t->id;
    }
    return 0;
}

bool WlrWindows::RaiseTopmost(WindowHandle window)
{
    if (!Ready() || !Refresh())
        return false;
    const Toplevel* t = Find(window);
    if (!t)
        return false;
    zwlr_foreign_toplevel_handle_v1_activate(t->handle, seat_);
    return connection_.Roundtrip();
}

} // namespace zarvex::platform::wayland
