// The Win32 platform backend checked under Wine on an X display: windows with
// known titles and colours are found by title, raised into the topmost band
// and read back pixel by pixel; a hot-key message reaches the handler; the
// profile file round-trips Chinese text against the platform's own API.
// Prints one line per check and "N passed, M failed"; exits 1 on failure.
#include "config/ini_file.h"
#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace zarvex;
using namespace zarvex::platform;

namespace {

int passed = 0, failed = 0;

void Check(bool ok, const std::string& what)
{
    std::printf("%s - %s\n", ok ? "ok" : "FAIL", what.c_str());
    (ok ? passed : failed)++;
}

void Pump(DWORD ms)
{
    const DWORD end = GetTickCount() + ms;
    MSG m;
    while (GetTickCount() < end) {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        Sleep(10);
    }
}

HWND MakeWindow(const wchar_t* title, COLORREF colour, int x)
{
    static int classes = 0;
    const std::wstring name = L"ZarvexCheck" + std::to_wstring(classes++);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = CreateSolidBrush(colour);
    wc.lpszClassName = name.c_str();
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, name.c_str(), title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, 100, 240, 180, nullptr,
                             nullptr, wc.hInstance, nullptr);
    UpdateWindow(w);
    return w;
}

std::string Ansi(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path folder = argc > 1 ? argv[1] : ".";

    // Windows found by title, in the topmost band, their pixels read back.
    HWND red = MakeWindow(L"zarvex-check 红色", RGB(255, 0, 0), 100);
    HWND blue = MakeWindow(L"zarvex-check blue", RGB(0, 0, 255), 400);
    Pump(1500);
    win32::Win32Windows windows;
    std::vector<std::string> titles;
    windows.EnumWindows([&](WindowHandle w) {
        const std::string t = windows.WindowText(w);
        if (t.rfind("zarvex-check", 0) == 0)
            titles.push_back(t);
        return true;
    });
    Check(titles.size() == 2, "EnumWindows + GetWindowTextW find both windows (" + std::to_string(titles.size()) + ")");
    Check(std::find(titles.begin(), titles.end(), "zarvex-check 红色") != titles.end(),
          "a Chinese title comes back as UTF-8");
    Check(windows.RaiseTopmost(static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(blue))),
          "SetWindowPos(HWND_TOPMOST) succeeds");
    Check((GetWindowLongPtrW(blue, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, "the raised window is WS_EX_TOPMOST");
    Check((GetWindowLongPtrW(red, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0, "the other one is not");
    RECT before{}, after{};
    GetWindowRect(blue, &before);
    windows.RaiseTopmost(static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(blue)));
    GetWindowRect(blue, &after);
    Check(EqualRect(&before, &after) != 0, "raising keeps position and size");
    Check(!windows.RaiseTopmost(0x7ffffff0u), "a window that is gone is refused without harm");
    std::printf("info - foreground window title: \"%s\"\n", windows.WindowText(windows.ForegroundWindow()).c_str());
    Pump(800);

    win32::Win32Screen screen;
    auto centre = [](HWND w) {
        RECT r{};
        GetClientRect(w, &r);
        POINT p{(r.right - r.left) / 2, (r.bottom - r.top) / 2};
        ClientToScreen(w, &p);
        return Point{p.x, p.y};
    };
    const Point redAt = centre(red), blueAt = centre(blue);
    Check(screen.PixelColor(redAt) == 0x000000FF, "GetPixel reads the red window as 0x0000FF (red in the low byte)");
    Check(screen.PixelColor(blueAt) == 0x00FF0000, "and the blue one as 0xFF0000");
    Check(screen.PixelColor({-20, -20}) == -1, "outside the screen: all ones");
    std::vector<Point> points = {redAt, blueAt, {-20, -20}, {5, 5}};
    std::vector<int32_t> batch(points.size());
    screen.PixelColors(points, batch);
    bool same = true;
    for (size_t i = 0; i < points.size(); ++i)
        same = same && batch[i] == screen.PixelColor(points[i]);
    Check(same, "one device context per pass gives the single readings");
    SetCursorPos(123, 45);
    const Point cursor = screen.CursorPosition();
    Check(cursor.x == 123 && cursor.y == 45, "GetCursorPos");

    // The hot key: registered, and a WM_HOTKEY reaches the handler on this thread.
    win32::Win32HotKeys keys;
    std::vector<int32_t> pressed;
    keys.SetHandler([&](int32_t id) { pressed.push_back(id); });
    std::printf("info - RegisterHotKey(Ctrl+W) %s\n", keys.Register(1, kModControl, 'W') ? "granted" : "refused");
    PostMessageW(keys.Window(), WM_HOTKEY, 1, MAKELPARAM(MOD_CONTROL, 'W'));
    Pump(300);
    Check(pressed == std::vector<int32_t>{1}, "WM_HOTKEY is delivered to the handler once");
    keys.Unregister(1);

    // The profile file in the ANSI code page, byte for byte as the platform's API.
    Check(GetACP() == 936, "the ANSI code page is 936 (" + std::to_string(GetACP()) + ")");
    const std::filesystem::path ini = std::filesystem::absolute(folder / "config.ini");
    std::filesystem::remove(ini);
    config::WriteIniValue(ini, "con", "game", "监控窗口");
    config::WriteIniValue(ini, "con", "game", "监控窗口二"); // replaces the file: rename over the old one
    char buffer[256] = {};
    GetPrivateProfileStringA("con", "game", "", buffer, sizeof buffer, ini.string().c_str());
    Check(std::string(buffer) == Ansi(L"监控窗口二"), "our write reads back through GetPrivateProfileStringA");
    WritePrivateProfileStringA("con", "email", Ansi(L"张三@163.com").c_str(), ini.string().c_str());
    Check(config::ReadIniValue(ini, "con", "email") == "张三@163.com", "WritePrivateProfileStringA reads back through ours");
    Check(config::ReadIniValue(ini, "con", "game") == "监控窗口二", "and our own value is still there");
    // A read-only file is left as it is, as the platform's own writer leaves it.
    SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY);
    const bool refused = !config::WriteIniValue(ini, "con", "game", "x");
    SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    Check(refused && config::ReadIniValue(ini, "con", "game") == "监控窗口二", "a read-only config.ini is not replaced");

    // Sound: synchronous, with the default sound for a missing file.
    win32::Win32Sound sound;
    const PlayResult missing = sound.PlaySync(folder / "no-such.wav");
    std::printf("info - PlaySound(missing file) -> %s\n",
                missing == PlayResult::DefaultSound ? "default sound" : missing == PlayResult::Silent ? "silent" : "file");
    Check(missing != PlayResult::File, "a missing file is never reported as played");

    DestroyWindow(red);
    DestroyWindow(blue);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
