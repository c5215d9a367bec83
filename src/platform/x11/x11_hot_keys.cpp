#include "platform/x11/x11_hot_keys.h"

#include "platform/x11/virtual_keys.h"

#include <QCoreApplication>

#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace zarvex::platform::x11 {

namespace {

// The lock modifiers a grab must be repeated for; the press is the same key
// whether or not they are on.
std::vector<uint16_t> LockCombinations(uint16_t numLock)
{
    std::vector<uint16_t> out{0, XCB_MOD_MASK_LOCK};
    if (numLock != 0) {
        out.push_back(numLock);
        out.push_back(static_cast<uint16_t>(numLock | XCB_MOD_MASK_LOCK));
    }
    return out;
}

constexpr uint16_t kRelevantModifiers
    = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

} // namespace

X11HotKeys::X11HotKeys(xcb_connection_t* connection)
    : connection_(connection), root_(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root),
      symbols_(xcb_key_symbols_alloc(connection))
{
    ReadLockMasks();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotKeys::~X11HotKeys()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const auto& [id, binding] : bindings_)
        Ungrab(binding);
    xcb_flush(connection_);
    xcb_key_symbols_free(symbols_);
}

void X11HotKeys::ReadLockMasks()
{
    // NumLock is whichever modifier the Num_Lock key is mapped to (Mod2 on most systems).
    numLockMask_ = 0;
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> numLockCodes(
        xcb_key_symbols_get_keycode(symbols_, XK_Num_Lock), &std::free);
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, decltype(&std::free)> mapping(
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr), &std::free);
    if (!numLockCodes || !mapping)
        return;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int k = 0; k < perModifier; ++k) {
            const xcb_keycode_t code = codes[modifier * perModifier + k];
            for (const xcb_keycode_t* n = numLockCodes.get(); code != 0 && *n != XCB_NO_SYMBOL; ++n) {
                if (*n == code)
                    numLockMask_ = static_cast<uint16_t>(1u << modifier);
            }
        }
    }
}

bool X11HotKeys::Grab(Binding& b)
{
    b.keycodes.clear();
    const uint32_t keysym = KeysymForVirtualKey(b.virtualKey);
    if (keysym == 0)
        return false;
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(xcb_key_symbols_get_keycode(symbols_, keysym),
                                                               &std::free);
    if (!codes)
        return false;
    bool ok = true;
    for (const xcb_keycode_t* c = codes.get(); *c != XCB_NO_SYMBOL; ++c) {
        b.keycodes.push_back(*c);
        for (const uint16_t locks : LockCombinations(numLockMask_)) {
            // owner_events 0 and asynchronous modes: the press goes to us
            // alone and the keyboard is not frozen.
            const xcb_void_cookie_t cookie = xcb_grab_key_checked(
                connection_, 0, root_, static_cast<uint16_t>(b.xModifiers | locks), *c, XCB_GRAB_MODE_ASYNC,
                XCB_GRAB_MODE_ASYNC);
            // A key held by another client comes back as BadAccess: an error
            // reply, not a fatal handler.
            if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
                ok = false;
                std::free(error);
            }
        }
    }
    if (!ok)
        Ungrab(b); // all or nothing: never half a hot key
    return ok && !b.keycodes.empty();
}

void X11HotKeys::Ungrab(const Binding& b)
{
    for (const xcb_keycode_t code : b.keycodes) {
        for (const uint16_t locks : LockCombinations(numLockMask_))
            xcb_ungrab_key(connection_, code, root_, static_cast<uint16_t>(b.xModifiers | locks));
    }
}

bool X11HotKeys::Register(int32_t id, int32_t modifiers, int32_t virtualKey)
{
    if (bindings_.count(id) != 0)
        return false; // as RegisterHotKey: an id is registered once
    Binding b;
    b.modifiers = modifiers;
    b.virtualKey = virtualKey;
    if (modifiers & kModAlt)
        b.xModifiers |= XCB_MOD_MASK_1;
    if (modifiers & kModControl)
        b.xModifiers |= XCB_MOD_MASK_CONTROL;
    if (modifiers & kModShift)
        b.xModifiers |= XCB_MOD_MASK_SHIFT;
    const bool ok = Grab(b);
    xcb_flush(connection_);
    if (ok)
        bindings_[id] = b;
    return ok;
}

bool X11HotKeys::Unregister(int32_t id)
{
    const auto it = bindings_.find(id);
    if (it == bindings_.end())
        return false;
    Ungrab(it->second);
    xcb_flush(connection_);
    bindings_.erase(it);
    return true;
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7F;

    if (type == XCB_MAPPING_NOTIFY) {
        // The keyboard mapping changed: keycodes and the NumLock modifier may
        // have moved, so resolve and grab everything again.
        const auto* mapping = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
        xcb_refresh_keyboard_mapping(symbols_, const_cast<xcb_mapping_notify_event_t*>(mapping));
        for (auto& [id, binding] : bindings_)
            Ungrab(binding);
        ReadLockMasks();
        for (auto& [id, binding] : bindings_)
            Grab(binding);
        xcb_flush(connection_);
        return false;
    }
    if (type != XCB_KEY_PRESS)
        return false;

    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
    // Only the grab's own presses, which the server reports on the root
    // window: a synthetic key sent to one of our windows is not the hot key.
    if (press->event != root_)
        return false;
    for (const auto& [id, binding] : bindings_) {
        const bool key = std::find(binding.keycodes.begin(), binding.keycodes.end(), press->detail)
            != binding.keycodes.end();
        if (key && (press->state & kRelevantModifiers) == binding.xModifiers) {
            // Delivered from the event loop, not from inside Qt's event
            // dispatch, so that the handler may open a modal message box.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [this, hotKeyId = id] {
                    if (handler_)
                        handler_(hotKeyId);
                },
                Qt::QueuedConnection);
            break;
        }
    }
    return false; // every event goes on to Qt
}

} // namespace zarvex::platform::x11
