// The program's global hot key: parsing a textual spec ("Ctrl,87" is Ctrl+W),
// registering it for the main window, and the hook that turns a press of the
// key registered under id 1 into a new monitor point.
#pragma once

#include "platform/hot_keys.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace zarvex::hotkey {

struct ParsedSpec {
    int32_t modifiers = 0;
    int32_t key = 0;
};

// "<modifier name>,<virtual-key code>". The name is matched exactly and with
// case: "Alt" 1, "Ctrl" 2, "Ctrl+Alt" 3, "Shift" 4, "Shift+Alt" 5,
// "Ctrl+Shift" 6, "Ctrl+Alt+Shift" 7; any other name (other orders, other
// case, none) gives 0. The code after the comma must be a number (blanks
// around it allowed, a fraction rounded half to even), or
// std::invalid_argument is thrown; std::out_of_range when it does not fit 32
// bits. Without a comma the code is the spec's leading number (0 if none)
// and there is no modifier.
ParsedSpec ParseHotKeySpec(std::string_view spec);
int32_t ModifiersForName(std::string_view name);

class HotKeyModule {
public:
    // `addMonitorPoint` is what a press of the key under id 1 does.
    HotKeyModule(platform::HotKeys& backend, std::function<void()> addMonitorPoint);
    // Removes the hook and gives back every key it still holds, so that no
    // press ever reaches a module that is gone.
    ~HotKeyModule();
    HotKeyModule(const HotKeyModule&) = delete;
    HotKeyModule& operator=(const HotKeyModule&) = delete;

    // "Add" registers `spec` under `id` and installs the hook (once);
    // "Del" removes the hook and gives the key under `id` back.
    void SetHotKey(int32_t id, std::string_view spec, std::string_view action);

    // The hook: every hot-key press of the window comes here first. Id 1 adds
    // a monitor point; every press is then passed to the handler that was in
    // place before the hook.
    void HotKeyWindowProc(int32_t id);

    bool HookInstalled() const { return hookInstalled_; }
    int32_t HotKeyId() const { return hotKeyId_; }
    int32_t HotKeyModifiers() const { return hotKeyModifiers_; }
    int32_t HotKeyKey() const { return hotKeyKey_; }
    // Whether the last registration was granted (another program may hold the key).
    bool LastRegistrationOk() const { return lastRegistrationOk_; }

private:
    platform::HotKeys& backend_;
    std::function<void()> addMonitorPoint_;
    platform::HotKeys::Handler savedWindowProc_;
    bool hookInstalled_ = false;
    int32_t hotKeyId_ = 0;
    int32_t hotKeyModifiers_ = 0;
    int32_t hotKeyKey_ = 0;
    bool lastRegistrationOk_ = false;
    std::vector<int32_t> held_; // ids registered and not given back
};

} // namespace zarvex::hotkey
