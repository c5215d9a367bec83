#include "platform/wayland/wayland_connection.h"

#include <wayland-client.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace zarvex::platform::wayland {

Connection::Connection(const char* displayName) : display_(wl_display_connect(displayName))
{
    if (!display_)
        return;
    static const wl_registry_listener listener = {&Connection::OnGlobal, &Connection::OnGlobalRemove};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
    if (!Roundtrip()) {
        wl_registry_destroy(registry_);
        wl_display_disconnect(display_);
        registry_ = nullptr;
        display_ = nullptr;
    }
}

Connection::~Connection()
{
    if (registry_)
        wl_registry_destroy(registry_);
    if (display_)
        wl_display_disconnect(display_);
}

void Connection::OnGlobal(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version)
{
    auto* self = static_cast<Connection*>(data);
    self->globals_.push_back({name, interface, version});
    if (self->onGlobalAdded)
        self->onGlobalAdded(self->globals_.back());
}

void Connection::OnGlobalRemove(void* data, wl_registry*, uint32_t name)
{
    auto* self = static_cast<Connection*>(data);
    std::erase_if(self->globals_, [name](const Global& g) { return g.name == name; });
    if (self->onGlobalRemoved)
        self->onGlobalRemoved(name);
}

const Global* Connection::Find(std::string_view interface) const
{
    const auto it = std::find_if(globals_.begin(), globals_.end(), [&](const Global& g) { return g.interface == interface; });
    return it == globals_.end() ? nullptr : &*it;
}

void* Connection::Bind(const Global& global, const wl_interface* interface, uint32_t maxVersion)
{
    return wl_registry_bind(registry_, global.name, interface, std::min(global.version, maxVersion));
}

bool Connection::DispatchUntil(const std::function<bool()>& done, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (wl_display_dispatch_pending(display_) < 0)
            return false;
        if (done())
            return true;
        // Read only after announcing it, so that no other reader of this
        // connection can take the events meant for this thread.
        while (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0)
                return false;
        }
        if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display_);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            wl_display_cancel_read(display_);
            return false;
        }
        pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(left));
        if (ready <= 0) {
            wl_display_cancel_read(display_);
            if (ready < 0 && errno == EINTR)
                continue;
            return false;
        }
        if (wl_display_read_events(display_) < 0)
            return false;
    }
    return true;
}

bool Connection::Roundtrip(int timeoutMs)
{
    bool done = false;
    static const wl_callback_listener listener = {
        .done = [](void* data, wl_callback* callback, uint32_t) {
            *static_cast<bool*>(data) = true;
            wl_callback_destroy(callback);
        },
    };
    wl_callback* callback = wl_display_sync(display_);
    wl_callback_add_listener(callback, &listener, &done);
    const bool ok = DispatchUntil([&] { return done; }, timeoutMs);
    if (!done)
        wl_callback_destroy(callback); // `done` goes out of scope: nothing may write it later
    return ok;
}

} // namespace zarvex::platform::wayland
