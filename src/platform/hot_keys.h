// A global hot key: a key combination claimed for this program while any
// other program has the focus. Shaped on RegisterHotKey / UnregisterHotKey
// and the WM_HOTKEY message: keys are registered under an id, with the
// modifier bits and virtual-key codes of that API, and every press is
// delivered, on the main thread, to the handler currently installed.
#pragma once

#include <cstdint>
#include <functional>

namespace zarvex::platform {

// Modifier bits as RegisterHotKey takes them.
inline constexpr int32_t kModAlt = 1;
inline constexpr int32_t kModControl = 2;
inline constexpr int32_t kModShift = 4;

class HotKeys {
public:
    using Handler = std::function<void(int32_t id)>;

    virtual ~HotKeys() = default;

    // Claims the combination under `id`. False when it cannot be had (another
    // program holds it, or the key does not exist here); nothing else happens.
    virtual bool Register(int32_t id, int32_t modifiers, int32_t virtualKey) = 0;
    // Gives the combination registered under `id` back.
    virtual bool Unregister(int32_t id) = 0;

    // The handler that receives presses, and replacing it: the equivalent of
    // reading and replacing the window procedure that WM_HOTKEY reaches.
    virtual Handler CurrentHandler() const = 0;
    virtual void SetHandler(Handler handler) = 0;
};

} // namespace zarvex::platform
