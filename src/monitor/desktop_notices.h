// What the user is told, once per start, about what the desktop does not let
// the program do: claim Ctrl+W, raise other programs' windows, keep a window
// above the others.
#pragma once

#include <string>
#include <vector>

namespace zarvex::monitor {

struct DesktopAbilities {
    bool hotKey = true;     // Ctrl+W can be claimed for the whole desktop
    bool windows = true;    // other programs' windows can be listed and raised
    bool keepsOnTop = true; // a raised window stays above the others
};

// The one line the window search shows where windows cannot be switched.
inline constexpr const char* kNoWindowSwitching = "这个桌面不允许程序把其他程序的窗口切换到前面，这里不能搜索和切换窗口。";

// How to mark a point without a global Ctrl+W: the desktop's own key binding
// running `markCommand`.
std::string BindMarkHint(const std::string& markCommand);

std::vector<std::string> DesktopNotices(const DesktopAbilities& abilities, const std::string& markCommand);

} // namespace zarvex::monitor
