// A client connection to a Wayland compositor with the list of globals it
// announces, and event dispatching that gives up after a time-out instead of
// waiting forever on a compositor that does not answer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_interface;

namespace zarvex::platform::wayland {

struct Global {
    uint32_t name = 0;
    std::string interface;
    uint32_t version = 0;
};

class Connection {
public:
    // Connects to `displayName` (a socket name in XDG_RUNTIME_DIR or a full
    // path), or to WAYLAND_DISPLAY when null; check Connected().
    explicit Connection(const char* displayName);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Connected() const { return display_ != nullptr; }
    wl_display* Display() const { return display_; }
    const std::vector<Global>& Globals() const { return globals_; }
    const Global* Find(std::string_view interface) const;
    // Binds a global at its version, at most `maxVersion`.
    void* Bind(const Global& global, const wl_interface* interface, uint32_t maxVersion);

    // Called for globals that come and go after connecting (outputs plugged
    // in or out).
    std::function<void(const Global&)> onGlobalAdded;
    std::function<void(uint32_t name)> onGlobalRemoved;

    // Dispatches events until `done` holds; false when `timeoutMs` passes
    // first or the connection breaks.
    bool DispatchUntil(const std::function<bool()>& done, int timeoutMs = kTimeoutMs);
    // Waits until the compositor has handled every request sent so far and
    // sent its answers.
    bool Roundtrip(int timeoutMs = kTimeoutMs);

    static constexpr int kTimeoutMs = 2000;

private:
    static void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, uint32_t name);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    std::vector<Global> globals_;
};

} // namespace zarvex::platform::wayland
