// The platform on Windows: the Win32 calls the monitor was designed around.
#pragma once

#include "platform/hot_keys.h"
#include "platform/screen.h"
#include "platform/sound.h"
#include "platform/top_level_windows.h"

#include <windows.h>

#include <map>

namespace zarvex::platform::win32 {

// GetCursorPos, and GetPixel on the device context of the whole screen
// (GetDC with no window): one context per reading, one per batch.
class Win32Screen : public Screen {
public:
    Point CursorPosition() override;
    int32_t PixelColor(Point p) override;
    void PixelColors(std::span<const Point> points, std::span<int32_t> colors) override;
};

// RegisterHotKey / UnregisterHotKey on a message-only window of this thread;
// WM_HOTKEY reaches the installed handler from the thread's message loop.
class Win32HotKeys : public HotKeys {
public:
    Win32HotKeys();
    ~Win32HotKeys() override;
    Win32HotKeys(const Win32HotKeys&) = delete;
    Win32HotKeys& operator=(const Win32HotKeys&) = delete;

    bool Register(int32_t id, int32_t modifiers, int32_t virtualKey) override;
    bool Unregister(int32_t id) override;
    Handler CurrentHandler() const override { return handler_; }
    void SetHandler(Handler handler) override { handler_ = std::move(handler); }
    HWND Window() const { return window_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    Handler handler_;
};

// EnumWindows, GetWindowTextW, GetForegroundWindow, and SetWindowPos with
// HWND_TOPMOST, SWP_NOSIZE | SWP_NOMOVE.
class Win32Windows : public TopLevelWindows {
public:
    void EnumWindows(const std::function<bool(WindowHandle)>& visit) override;
    std::string WindowText(WindowHandle window) override;
    WindowHandle ForegroundWindow() override;
    bool RaiseTopmost(WindowHandle window) override;
};

// PlaySoundW synchronously; without SND_NODEFAULT the system plays its
// default sound when the file is missing or cannot be played.
class Win32Sound : public Sound {
public:
    PlayResult PlaySync(const std::filesystem::path& wavFile) override;
};

} // namespace zarvex::platform::win32
