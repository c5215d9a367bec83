// The platform backend for the display the program runs on, chosen once.
#pragma once

#include "platform/hot_keys.h"
#include "platform/screen.h"
#include "platform/sound.h"
#include "platform/top_level_windows.h"

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

} // namespace zarvex::platform
