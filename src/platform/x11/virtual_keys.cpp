#include "platform/x11/virtual_keys.h"

#include <X11/keysym.h>

namespace zarvex::platform::x11 {

uint32_t KeysymForVirtualKey(int32_t vk)
{
    if (vk >= 'A' && vk <= 'Z')
        return static_cast<uint32_t>(XK_a + (vk - 'A')); // the key, not the shifted letter
    if (vk >= '0' && vk <= '9')
        return static_cast<uint32_t>(XK_0 + (vk - '0'));
    if (vk >= 0x70 && vk <= 0x87) // VK_F1 .. VK_F24
        return static_cast<uint32_t>(XK_F1 + (vk - 0x70));
    if (vk >= 0x60 && vk <= 0x69) // VK_NUMPAD0 .. VK_NUMPAD9
        return static_cast<uint32_t>(XK_KP_0 + (vk - 0x60));
    switch (vk) {
    case 0x08: return XK_BackSpace;
    case 0x09: return XK_Tab;
    case 0x0D: return XK_Return;
    case 0x13: return XK_Pause;
    case 0x1B: return XK_Escape;
    case 0x20: return XK_space;
    case 0x21: return XK_Prior;
    case 0x22: return XK_Next;
    case 0x23: return XK_End;
    case 0x24: return XK_Home;
    case 0x25: return XK_Left;
    case 0x26: return XK_Up;
    case 0x27: return XK_Right;
    case 0x28: return XK_Down;
    case 0x2C: return XK_Print;
    case 0x2D: return XK_Insert;
    case 0x2E: return XK_Delete;
    case 0x6A: return XK_KP_Multiply;
    case 0x6B: return XK_KP_Add;
    case 0x6D: return XK_KP_Subtract;
    case 0x6E: return XK_KP_Decimal;
    case 0x6F: return XK_KP_Divide;
    case 0xBA: return XK_semicolon;
    case 0xBB: return XK_equal;
    case 0xBC: return XK_comma;
    case 0xBD: return XK_minus;
    case 0xBE: return XK_period;
    case 0xBF: return XK_slash;
    case 0xC0: return XK_grave;
    case 0xDB: return XK_bracketleft;
    case 0xDC: return XK_backslash;
    case 0xDD: return XK_bracketright;
    case 0xDE: return XK_apostrophe;
    default: return 0;
    }
}

} // namespace zarvex::platform::x11
