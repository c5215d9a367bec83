// In-memory stand-ins for the platform, for unit tests: a screen whose cursor
// and pixels the test sets, and hot keys the test presses.
#pragma once

#include "platform/hot_keys.h"
#include "platform/screen.h"

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace zarvex::platform {

class FakeScreen : public Screen {
public:
    Point cursor;
    // Colour of a pixel; points not in `pixels` take `background`, points
    // outside [0, width) x [0, height) read as all ones.
    int32_t width = 1920, height = 1080;
    int32_t background = PackColor(255, 255, 255);
    std::map<std::pair<int32_t, int32_t>, int32_t> pixels;
    int pixelReads = 0; // single reads
    int batchReads = 0; // PixelColors calls
    bool knowsCursor = true;
    std::string unavailable; // why pixels cannot be read; empty: they can

    Point CursorPosition() override { return cursor; }
    bool KnowsCursorPosition() const override { return knowsCursor; }
    std::string Unavailable() const override { return unavailable; }
    int32_t PixelColor(Point p) override
    {
        ++pixelReads;
        return Lookup(p);
    }
    void PixelColors(std::span<const Point> points, std::span<int32_t> colors) override
    {
        ++batchReads;
        for (size_t i = 0; i < points.size() && i < colors.size(); ++i)
            colors[i] = Lookup(points[i]);
    }
    void Set(int32_t x, int32_t y, int32_t color) { pixels[{x, y}] = color; }

private:
    int32_t Lookup(Point p) const
    {
        if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height)
            return kColorOutside;
        const auto it = pixels.find({p.x, p.y});
        return it == pixels.end() ? background : it->second;
    }
};

class FakeHotKeys : public HotKeys {
public:
    struct Registration {
        int32_t id, modifiers, virtualKey;
    };
    std::vector<Registration> registered;
    std::vector<int32_t> unregistered;
    bool refuse = false; // behave as if another program held every key

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

    // A press of the key registered under `id`, as the platform delivers it.
    void Press(int32_t id)
    {
        if (handler_)
            handler_(id);
    }

private:
    Handler handler_;
};

} // namespace zarvex::platform

#include "platform/sound.h"

namespace zarvex::platform {

class FakeSound : public Sound {
public:
    std::vector<std::filesystem::path> played;
    PlayResult PlaySync(const std::filesystem::path& wavFile) override
    {
        played.push_back(wavFile);
        return PlayResult::File;
    }
};

} // namespace zarvex::platform

#include "platform/top_level_windows.h"

#include <algorithm>
#include <string>

namespace zarvex::platform {

// Windows front to back; a window can be closed (it stays out of the
// enumeration and cannot be raised).
class FakeWindows : public TopLevelWindows {
public:
    struct Window {
        WindowHandle handle;
        std::string title;
        bool open = true;
    };
    std::vector<Window> stack; // front first
    WindowHandle foreground = 0;
    std::vector<WindowHandle> raised;

    void EnumWindows(const std::function<bool(WindowHandle)>& visit) override
    {
        for (const auto& w : stack) {
            if (w.open && !visit(w.handle))
                return;
        }
    }
    std::string WindowText(WindowHandle window) override
    {
        for (const auto& w : stack) {
            if (w.handle == window && w.open)
                return w.title;
        }
        return {};
    }
    WindowHandle ForegroundWindow() override { return foreground; }
    bool RaiseTopmost(WindowHandle window) override
    {
        const auto it = std::find_if(stack.begin(), stack.end(), [&](const Window& w) { return w.handle == window; });
        if (it == stack.end() || !it->open)
            return false;
        raised.push_back(window);
        Window w = *it;
        stack.erase(it);
        stack.insert(stack.begin(), w);
        return true;
    }
};

} // namespace zarvex::platform
