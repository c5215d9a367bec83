#include "platform/wayland/screen_cast_screen.h"

namespace zarvex::platform::wayland {

namespace {

const std::string kRefused = "桌面没有同意共享屏幕（%s），读不到屏幕像素，不能启动监控。重新打开 Zarvex 可再次请求。";
const std::string kNoPipeWire = "桌面同意了共享屏幕，但连接不上 PipeWire，读不到屏幕像素，不能启动监控。";

std::string Refused(const std::string& why)
{
    std::string text = kRefused;
    return text.replace(text.find("%s"), 2, why);
}

} // namespace

void ScreenCastScreen::Start(const std::string& restoreToken, Told keepToken, Told refused)
{
    portal_.Start(restoreToken, [this, keepToken, refused](ScreenCastGrant* grant, const std::string& error) {
        if (!grant) {
            unavailable_ = Refused(error);
            if (refused)
                refused(unavailable_);
            return;
        }
        screen_ = std::make_unique<PipeWireScreen>(grant->streams, grant->pipeWireFd);
        grant->pipeWireFd = -1; // the screen owns it now
        if (!screen_->Ready()) {
            screen_.reset();
            unavailable_ = kNoPipeWire;
            if (refused)
                refused(unavailable_);
            return;
        }
        unavailable_.clear();
        if (keepToken && !grant->restoreToken.empty())
            keepToken(grant->restoreToken);
    });
}

void ScreenCastScreen::PixelColors(std::span<const Point> points, std::span<int32_t> colors)
{
    if (screen_) {
        screen_->PixelColors(points, colors);
        return;
    }
    for (int32_t& c : colors)
        c = kColorOutside;
}

} // namespace zarvex::platform::wayland
