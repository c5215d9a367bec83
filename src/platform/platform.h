// The platform backend for the display the program runs on, chosen once.
#pragma once

#include "platform/hot_keys.h"
#include "platform/screen.h"
#include "platform/sound.h"
#include "platform/top_level_windows.h"

#include <functional>
#include <memory>
#include <string>

namespace zarvex::platform {

struct Platform {
    std::unique_ptr<Screen> screen;
    std::unique_ptr<HotKeys> hotKeys;
    std::unique_ptr<Sound> sound;
    std::unique_ptr<TopLevelWindows> windows;
};

// The backend for the running Qt application's display; a null screen, with
// `reason` saying why, when this display server is not supported.
Platform CreatePlatform(std::string& reason);

// What a backend that needs the desktop's consent keeps between runs, and
// how it tells the user, once, what the desktop withheld after start-up.
struct PlatformOptions {
    std::string screenCastToken; // the restore token of the last screen share
    std::function<void(const std::string& token)> keepScreenCastToken;
    std::function<void(const std::string& text)> notice;
    std::string markHint; // how to mark a point where Ctrl+W cannot be claimed
};

// The kind of desktop session the program was started in, from its
// environment: Qt must draw its windows there.
enum class DisplaySession { None, X11, Wayland };
DisplaySession SessionKindNow();
Platform CreatePlatform(std::string& reason, const PlatformOptions& options);

} // namespace zarvex::platform
