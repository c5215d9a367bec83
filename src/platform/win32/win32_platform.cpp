#include "platform/win32/win32_platform.h"

#include "platform/platform.h"

#include <mmsystem.h>

#include <string>

namespace zarvex::platform::win32 {

namespace {

std::string Utf8(const wchar_t* text, int length)
{
    if (length <= 0)
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

HWND ToHwnd(WindowHandle handle)
{
    // Window handles are 32-bit values even in 64-bit Windows.
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(handle));
}

WindowHandle FromHwnd(HWND window)
{
    return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(window));
}

} // namespace

Point Win32Screen::CursorPosition()
{
    POINT p{};
    GetCursorPos(&p);
    return {p.x, p.y};
}

int32_t Win32Screen::PixelColor(Point p)
{
    // COLORREF is red in the low byte already; CLR_INVALID (all ones) outside the screen.
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return static_cast<int32_t>(c);
}

void Win32Screen::PixelColors(std::span<const Point> points, std::span<int32_t> colors)
{
    HDC screen = GetDC(nullptr);
    for (size_t i = 0; i < points.size() && i < colors.size(); ++i)
        colors[i] = static_cast<int32_t>(GetPixel(screen, points[i].x, points[i].y));
    ReleaseDC(nullptr, screen);
}

Win32HotKeys::Win32HotKeys()
{
    static const wchar_t* kClass = L"ZarvexHotKeyWindow";
    WNDCLASSW wc{};
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc); // a second registration fails harmlessly
    window_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32HotKeys::~Win32HotKeys()
{
    if (window_)
        DestroyWindow(window_);
}

bool Win32HotKeys::Register(int32_t id, int32_t modifiers, int32_t virtualKey)
{
    return RegisterHotKey(window_, id, static_cast<UINT>(modifiers), static_cast<UINT>(virtualKey)) != 0;
}

bool Win32HotKeys::Unregister(int32_t id)
{
    return UnregisterHotKey(window_, id) != 0;
}

LRESULT CALLBACK Win32HotKeys::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HOTKEY) {
        auto* self = reinterpret_cast<Win32HotKeys*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && self->handler_)
            self->handler_(static_cast<int32_t>(wParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Win32Windows::EnumWindows(const std::function<bool(WindowHandle)>& visit)
{
    ::EnumWindows(
        [](HWND window, LPARAM user) -> BOOL {
            const auto& v = *reinterpret_cast<const std::function<bool(WindowHandle)>*>(user);
            return v(FromHwnd(window)) ? TRUE : FALSE;
        },
        reinterpret_cast<LPARAM>(&visit));
}

std::string Win32Windows::WindowText(WindowHandle window)
{
    wchar_t buffer[1024];
    const int n = GetWindowTextW(ToHwnd(window), buffer, 1024);
    return Utf8(buffer, n);
}

WindowHandle Win32Windows::ForegroundWindow()
{
    return FromHwnd(GetForegroundWindow());
}

bool Win32Windows::RaiseTopmost(WindowHandle window)
{
    return SetWindowPos(ToHwnd(window), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE) != 0;
}

PlayResult Win32Sound::PlaySync(const std::filesystem::path& wavFile)
{
    std::error_code ec;
    const bool exists = std::filesystem::is_regular_file(wavFile, ec);
    const BOOL played = PlaySoundW(wavFile.c_str(), nullptr, SND_FILENAME | SND_SYNC);
    if (played && exists)
        return PlayResult::File;
    return played ? PlayResult::DefaultSound : PlayResult::Silent;
}

} // namespace zarvex::platform::win32

namespace zarvex::platform {

Platform CreatePlatform(std::string& reason)
{
    reason.clear();
    Platform p;
    p.screen = std::make_unique<win32::Win32Screen>();
    p.hotKeys = std::make_unique<win32::Win32HotKeys>();
    p.sound = std::make_unique<win32::Win32Sound>();
    p.windows = std::make_unique<win32::Win32Windows>();
    return p;
}

} // namespace zarvex::platform
