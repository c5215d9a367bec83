// In-memory stand-ins for the platform and the timers: a screen whose cursor
// and pixels the test sets, hot keys it presses, windows it stacks.
#pragma once

#include "monitor/run_actions.h"
#include "platform/hot_keys.h"
#include "platform/screen.h"
#include "platform/top_level_windows.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zarvex::test {

class FakeScreen : public platform::Screen {
public:
    platform::Point cursor;
    std::map<std::pair<int32_t, int32_t>, int32_t> pixels; // {x, y}: colour; the others read white
    int pixelReads = 0, batchReads = 0; // pixels read (alone or in a batch), batches read
    bool knowsCursor = true;
    std::string unavailable; // why pixels cannot be read; empty: they can

    platform::Point CursorPosition() override { return cursor; }
    bool KnowsCursorPosition() const override { return knowsCursor; }
    std::string Unavailable() const override { return unavailable; }
    int32_t PixelColor(platform::Point p) override
    {
        ++pixelReads;
        const auto it = pixels.find({p.x, p.y});
        return it == pixels.end() ? platform::PackColor(255, 255, 255) : it->second;
    }
    void PixelColors(std::span<const platform::Point> points, std::span<int32_t> colors) override
    {
        ++batchReads;
        for (size_t i = 0; i < points.size() && i < colors.size(); ++i)
            colors[i] = PixelColor(points[i]);
    }
};

class FakeHotKeys : public platform::HotKeys {
public:
    struct Registration {
        int32_t id, modifiers, virtualKey;
    };
    std::vector<Registration> registered;
    std::vector<int32_t> unregistered;
    bool refuse = false; // as if another program held every key

    bool Register(int32_t id, int32_t modifiers, int32_t virtualKey) override
    {
        registered.push_back({id, modifiers, virtualKey});
        return !refuse;
    }
    bool Unregister(int32_t id) override
    {
        unregistered.push_back(id);
        return true;
    }
    Handler CurrentHandler() const override { return handler_; }
    void SetHandler(Handler handler) override { handler_ = std::move(handler); }
    void Press(int32_t id) // as the platform delivers a press of the key registered under `id`
    {
        if (handler_)
            handler_(id);
    }

private:
    Handler handler_;
};

// Windows front to back; a closed one is out of the enumeration and cannot be raised.
class FakeWindows : public platform::TopLevelWindows {
public:
    struct Window {
        platform::WindowHandle handle;
        std::string title;
        bool open = true;
    };
    std::vector<Window> stack; // front first
    platform::WindowHandle foreground = 0;
    std::vector<platform::WindowHandle> raised;

    void EnumWindows(const std::function<bool(platform::WindowHandle)>& visit) override
    {
        for (const auto& w : stack)
            if (w.open && !visit(w.handle))
                return;
    }
    std::string WindowText(platform::WindowHandle window) override
    {
        const auto it = Find(window);
        return it != stack.end() && it->open ? it->title : std::string();
    }
    platform::WindowHandle ForegroundWindow() override { return foreground; }
    bool RaiseTopmost(platform::WindowHandle window) override
    {
        const auto it = Find(window);
        if (it == stack.end() || !it->open)
            return false;
        raised.push_back(window);
        std::rotate(stack.begin(), it, it + 1); // to the front
        return true;
    }

private:
    std::vector<Window>::iterator Find(platform::WindowHandle window)
    {
        return std::find_if(stack.begin(), stack.end(), [&](const Window& w) { return w.handle == window; });
    }
};

struct FakeTimer : monitor::Timer {
    explicit FakeTimer(bool on = false) : running(on) {}
    bool running;
    int stops = 0;
    void Start() override { running = true; }
    void Stop() override
    {
        running = false;
        ++stops;
    }
    bool IsRunning() const override { return running; }
};

} // namespace zarvex::test
