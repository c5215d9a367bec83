// Global hot keys on X11: a passive grab of the key on the root window, once
// for every combination of the lock modifiers (NumLock, CapsLock), so the key
// works whatever locks are on. Presses arrive through Qt's event dispatch on
// the main thread. Grabs refused because another client holds the key are
// reported by Register's result only; they never end the process.
#pragma once

#include "platform/hot_keys.h"

#include <QAbstractNativeEventFilter>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <map>
#include <vector>

namespace zarvex::platform::x11 {

class X11HotKeys : public HotKeys, public QAbstractNativeEventFilter {
public:
    // Uses Qt's own connection (so that the grabbed keys arrive as Qt's
    // events) and installs itself as a native event filter of the application.
    explicit X11HotKeys(xcb_connection_t* connection);
    ~X11HotKeys() override;
    X11HotKeys(const X11HotKeys&) = delete;
    X11HotKeys& operator=(const X11HotKeys&) = delete;

    bool Register(int32_t id, int32_t modifiers, int32_t virtualKey) override;
    bool Unregister(int32_t id) override;
    Handler CurrentHandler() const override { return handler_; }
    void SetHandler(Handler handler) override { handler_ = std::move(handler); }

    // Sees every event and passes every one on (returns false).
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Binding {
        int32_t modifiers = 0, virtualKey = 0; // as registered
        uint16_t xModifiers = 0;                // Shift/Control/Mod1 bits
        std::vector<xcb_keycode_t> keycodes;    // grabbed keycodes (a keysym can sit on several)
    };

    bool Grab(Binding& binding);
    void Ungrab(const Binding& binding);
    void ReadLockMasks();

    xcb_connection_t* connection_;
    xcb_window_t root_;
    xcb_key_symbols_t* symbols_;
    uint16_t numLockMask_ = 0;
    std::map<int32_t, Binding> bindings_;
    Handler handler_;
};

} // namespace zarvex::platform::x11
