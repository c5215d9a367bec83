// Screen pixels through the desktop's screen-cast portal: the screen exists
// at once, but reads nothing until the desktop (and perhaps the user) has
// agreed to share the monitors. Until then, and after a refusal, it says why
// pixels cannot be read, so that no run starts on unknown colours.
#pragma once

#include "platform/screen.h"
#include "platform/wayland/pipewire_screen.h"
#include "platform/wayland/screen_cast_portal.h"

#include <functional>
#include <memory>
#include <string>

namespace zarvex::platform::wayland {

class ScreenCastScreen final : public Screen {
public:
    using Told = std::function<void(const std::string&)>;

    // Asks for the monitors with the restore token of the last grant (empty:
    // none). `keepToken` receives the token for the next start; `refused` is
    // told once, in the user's words, when no screen can be had.
    void Start(const std::string& restoreToken, Told keepToken, Told refused);

    Point CursorPosition() override { return screen_ ? screen_->CursorPosition() : Point{}; }
    bool KnowsCursorPosition() const override { return screen_ && screen_->KnowsCursorPosition(); }
    std::string Unavailable() const override { return unavailable_; }
    int32_t PixelColor(Point p) override { return screen_ ? screen_->PixelColor(p) : kColorOutside; }
    void PixelColors(std::span<const Point> points, std::span<int32_t> colors) override;

private:
    ScreenCastPortal portal_;
    std::unique_ptr<PipeWireScreen> screen_;
    std::string unavailable_ = "正在等待桌面同意共享屏幕，同意后才能启动监控。";
};

} // namespace zarvex::platform::wayland
