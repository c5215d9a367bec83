// The Windows side of the checks under Wine: win32_check MODE ARG... FILE
// receives what is read. ID is a control's id in Form1 unless a CLASS names
// the window; clicks and closes are posted, as a message box they open would
// block a sent one.
//   platform FOLDER: what the run of zarvex.exe cannot show of the Win32 backend
//   exchange URL FILE [MS]: one HttpExchange, "completed status ms failure"+body
//   list ID FILE (rows, columns joined by '|') | text ID FILE | click ID
//   command ID (of Form1's menu) | settext CLASS ID TEXT | close CLASS
//   topmost FILE: the titles of the visible topmost windows
//   show N: N coloured windows "测试窗口 1" … (the last in front) until ended
#include "config/ini_file.h"
#include "notify/http_post.h"
#include "platform/win32/win32_platform.h"

#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace zarvex;
using namespace zarvex::platform;

namespace {

std::string Narrow(const wchar_t* text, UINT codePage)
{
    const int n = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    WideCharToMultiByte(codePage, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

// Writes the file; the exit status that tells whether it went well.
int Save(const char* file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary);
    return out << text ? 0 : 1;
}

// An argument as the command line gave it, in UTF-16 (argv has it in the
// ANSI code page, which cannot hold every text).
std::wstring Wide(int index)
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring out = args && index < count ? args[index] : L"";
    LocalFree(args);
    return out;
}

HWND OpenWindow(const std::wstring& className, const std::wstring& title, COLORREF colour, int x, int y)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = CreateSolidBrush(colour);
    wc.lpszClassName = className.c_str();
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, x, y, 240, 160, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

void Pump(DWORD ms)
{
    MSG m;
    for (const DWORD end = GetTickCount() + ms; GetTickCount() < end; Sleep(10))
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
}

// Raising, pixels and the profile file where the program's run does not
// reach: the window finding, topmost band, pixel byte order, pointer and hot
// key are proved by that run.
int CheckPlatform(const std::filesystem::path& folder)
{
    int failed = 0;
    auto check = [&](bool ok, const char* what) {
        std::printf("%s - %s\n", ok ? "ok" : "FAIL", what);
        failed += ok ? 0 : 1;
    };
    HWND red = OpenWindow(L"ZarvexCheckRed", L"zarvex-check", RGB(255, 0, 0), 100, 100);
    Pump(1000);
    win32::Win32Windows windows;
    RECT before{}, after{};
    GetWindowRect(red, &before);
    const bool raised = windows.RaiseTopmost(static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(red)));
    GetWindowRect(red, &after);
    check(raised && EqualRect(&before, &after), "raising keeps position and size");
    check(!windows.RaiseTopmost(0x7ffffff0u), "a window that is gone is refused without harm");
    Pump(500);

    win32::Win32Screen screen;
    POINT centre{100, 50};
    ClientToScreen(red, &centre);
    const std::vector<Point> points = {{centre.x, centre.y}, {-20, 5}, {1000, 150}}; // red, outside, the root
    std::vector<int32_t> batch(points.size()), single;
    screen.PixelColors(points, batch);
    for (const Point& p : points)
        single.push_back(screen.PixelColor(p));
    check(single[0] == 0x0000FF && single[1] == -1, "a pixel reads as its colour, outside the screen as all ones");
    check(batch == single, "one device context per pass reads what single readings do");

    // config.ini in the ANSI code page, byte for byte as the platform's own API.
    const std::filesystem::path ini = std::filesystem::absolute(folder / "config.ini");
    config::WriteIniValue(ini, "con", "game", "监控窗口");
    config::WriteIniValue(ini, "con", "game", "监控窗口二"); // replaces the file: rename over the old one
    char buffer[256] = {};
    GetPrivateProfileStringA("con", "game", "", buffer, sizeof buffer, ini.string().c_str());
    check(buffer == Narrow(L"监控窗口二", CP_ACP), "our write reads back through GetPrivateProfileStringA");
    WritePrivateProfileStringA("con", "email", Narrow(L"张三@163.com", CP_ACP).c_str(), ini.string().c_str());
    check(config::ReadIniValue(ini, "con", "email") == "张三@163.com"
              && config::ReadIniValue(ini, "con", "game") == "监控窗口二",
          "WritePrivateProfileStringA's value reads back through ours, beside our own");
    // A read-only file is left as it is, as the platform's own writer leaves it.
    SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY);
    const bool refused = !config::WriteIniValue(ini, "con", "game", "x");
    SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    check(refused && config::ReadIniValue(ini, "con", "game") == "监控窗口二", "a read-only config.ini is not replaced");
    DestroyWindow(red);
    return failed == 0 ? 0 : 1;
}

int Exchange(int argc, char** argv)
{
    notify::HttpOptions options;
    if (argc > 4)
        options.totalTimeoutMs = std::stol(argv[4]);
    const auto start = std::chrono::steady_clock::now();
    const notify::HttpResponse r = notify::HttpExchange(argv[2], "", options);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const std::string head = std::to_string(r.completed) + ' ' + std::to_string(r.status) + ' '
        + std::to_string(ms.count()) + ' ' + std::to_string(static_cast<int>(r.failure));
    return Save(argv[3], head + '\n' + r.body);
}

BOOL CALLBACK AddTopmostTitle(HWND window, LPARAM titles)
{
    wchar_t text[512] = {};
    const bool topmost = (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (IsWindowVisible(window) && topmost && GetWindowTextW(window, text, 512) > 0)
        *reinterpret_cast<std::string*>(titles) += Narrow(text, CP_UTF8) + "\n";
    return TRUE;
}

int ShowWindows(int count)
{
    constexpr COLORREF kColours[] = {RGB(200, 40, 40), RGB(40, 160, 40), RGB(40, 40, 200), RGB(200, 200, 40)};
    for (int i = 0; i < count; ++i)
        OpenWindow(L"ZarvexTestWindow" + std::to_wstring(i + 1), L"测试窗口 " + std::to_wstring(i + 1), kColours[i % 4],
                   900 + 40 * i, 60 + 40 * i);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

// The list's text lives in the other process, so it is fetched through a
// buffer there.
int ReadList(HWND list, const char* file)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    constexpr size_t kChars = 512;
    const SIZE_T bytes = sizeof(LVITEMW) + kChars * sizeof(wchar_t);
    char* remote = process ? static_cast<char*>(VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE))
                           : nullptr;
    if (!remote)
        return 1;
    const auto rows = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const auto columns = SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
    std::string out;
    for (LRESULT r = 0; r < rows; ++r) {
        for (LRESULT c = 0; c < columns; ++c) {
            LVITEMW item{};
            item.iSubItem = static_cast<int>(c);
            item.cchTextMax = kChars;
            item.pszText = reinterpret_cast<LPWSTR>(remote + sizeof(LVITEMW));
            wchar_t text[kChars] = {};
            WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(remote));
            ReadProcessMemory(process, remote + sizeof(LVITEMW), text, sizeof text - sizeof(wchar_t), nullptr);
            out += (c ? "|" : "") + Narrow(text, CP_UTF8);
        }
        out += '\n';
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return Save(file, out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string mode = argv[1];
    if (mode == "platform")
        return CheckPlatform(argv[2]);
    if (mode == "exchange" && argc > 3)
        return Exchange(argc, argv);
    if (mode == "show")
        return ShowWindows(std::atoi(argv[2]));
    if (mode == "topmost") {
        std::string titles;
        EnumWindows(AddTopmostTitle, reinterpret_cast<LPARAM>(&titles));
        return Save(argv[2], titles);
    }
    if (mode == "settext" || mode == "close") {
        HWND window = FindWindowW(Wide(2).c_str(), nullptr);
        if (window && mode == "close")
            return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
        HWND box = window && argc > 4 ? GetDlgItem(window, std::atoi(argv[3])) : nullptr;
        return box && SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(4).c_str())) ? 0 : 1;
    }
    HWND form = FindWindowW(L"ZarvexForm1", nullptr);
    if (form && mode == "command")
        return PostMessageW(form, WM_COMMAND, static_cast<WPARAM>(std::atoi(argv[2])), 0) ? 0 : 1;
    HWND control = form ? GetDlgItem(form, std::atoi(argv[2])) : nullptr;
    if (control && mode == "click")
        return PostMessageW(control, BM_CLICK, 0, 0) ? 0 : 1;
    if (control && mode == "text" && argc > 3) {
        wchar_t text[512] = {};
        SendMessageW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
        return Save(argv[3], Narrow(text, CP_UTF8));
    }
    return control && mode == "list" && argc > 3 ? ReadList(control, argv[3]) : 1;
}
