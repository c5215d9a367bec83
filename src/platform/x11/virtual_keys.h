// Virtual-key codes (as RegisterHotKey takes them) to X key symbols.
#pragma once

#include <cstdint>

namespace zarvex::platform::x11 {

// The X keysym for a virtual-key code: letters, digits, function keys F1-F24,
// the numeric pad, navigation and editing keys, space, enter, escape, tab and
// the OEM punctuation keys of a US layout; 0 (NoSymbol) for anything else.
uint32_t KeysymForVirtualKey(int32_t virtualKey);

} // namespace zarvex::platform::x11
