// Reads and clicks a running zarvex.exe from another process, as a user would:
//   zarvex_window_check list ID RESULT_FILE  the list control with that id in
//                                            Form1, one line per row, its
//                                            columns joined by '|'
//   zarvex_window_check click ID             a click on that button of Form1
//                                            (posted: a message box it opens
//                                            would block a sent one)
//   zarvex_window_check command ID           a menu command of Form1
//   zarvex_window_check text ID RESULT_FILE  the text of that control of Form1
//   zarvex_window_check settext CLASS ID TEXT  the text of a control of the
//                                            window of that class
//   zarvex_window_check close CLASS [TITLE]  the close box of that window
//   zarvex_window_check windows RESULT_FILE  the titles of the visible
//                                            top-level windows, one a line
//   zarvex_window_check topmost RESULT_FILE  the same for the topmost ones
//   zarvex_window_check show N               opens N coloured windows titled
//                                            "测试窗口 1" … (the last in front)
//                                            and runs until they are closed
// The list's text lives in the other process, so it is fetched through a
// buffer there.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const wchar_t* text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

bool Save(const char* file, const std::string& text)
{
    FILE* out = std::fopen(file, "wb");
    if (!out)
        return false;
    std::fwrite(text.data(), 1, text.size(), out);
    return std::fclose(out) == 0;
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

bool onlyTopmost = false;

BOOL CALLBACK AddTitle(HWND window, LPARAM titles)
{
    wchar_t text[512] = {};
    const bool topmost = (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (IsWindowVisible(window) && (topmost || !onlyTopmost) && GetWindowTextW(window, text, 512) > 0)
        *reinterpret_cast<std::string*>(titles) += Utf8(text) + "\n";
    return TRUE;
}

int openWindows = 0;

LRESULT CALLBACK ShownWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY && --openWindows == 0)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

int ShowWindows(int count)
{
    constexpr COLORREF kColours[] = {RGB(200, 40, 40), RGB(40, 160, 40), RGB(40, 40, 200), RGB(200, 200, 40)};
    for (int i = 0; i < count; ++i) {
        const std::wstring name = L"ZarvexTestWindow" + std::to_wstring(i + 1);
        WNDCLASSW wc{};
        wc.lpfnWndProc = ShownWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = CreateSolidBrush(kColours[i % 4]);
        wc.lpszClassName = name.c_str();
        RegisterClassW(&wc);
        const std::wstring title = L"测试窗口 " + std::to_wstring(i + 1);
        HWND window = CreateWindowExW(0, name.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, 900 + 40 * i, 60 + 40 * i,
                                      240, 160, nullptr, nullptr, wc.hInstance, nullptr);
        ShowWindow(window, SW_SHOWNORMAL);
        ++openWindows;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string mode = argv[1];
    if (mode == "show")
        return ShowWindows(std::atoi(argv[2]));
    if (mode == "windows" || mode == "topmost") {
        onlyTopmost = mode == "topmost";
        std::string titles;
        EnumWindows(AddTitle, reinterpret_cast<LPARAM>(&titles));
        return Save(argv[2], titles) ? 0 : 1;
    }
    if (mode == "settext" || mode == "close") {
        const std::wstring title = mode == "close" && argc > 3 ? Wide(3) : std::wstring();
        HWND window = FindWindowW(Wide(2).c_str(), title.empty() ? nullptr : title.c_str());
        if (!window)
            return 1;
        if (mode == "close")
            return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
        HWND box = argc > 4 ? GetDlgItem(window, std::atoi(argv[3])) : nullptr;
        const std::wstring text = argc > 4 ? Wide(4) : std::wstring();
        return box && SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) ? 0 : 1;
    }
    HWND form = FindWindowW(L"ZarvexForm1", nullptr);
    if (form && mode == "command")
        return PostMessageW(form, WM_COMMAND, static_cast<WPARAM>(std::atoi(argv[2])), 0) ? 0 : 1;
    HWND control = form ? GetDlgItem(form, std::atoi(argv[2])) : nullptr;
    if (!control)
        return 1;
    if (mode == "click")
        return PostMessageW(control, BM_CLICK, 0, 0) ? 0 : 1;
    if (mode == "text" && argc > 3) {
        wchar_t text[512] = {};
        SendMessageW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
        return Save(argv[3], Utf8(text)) ? 0 : 1;
    }
    if (mode != "list" || argc < 4)
        return 2;
    HWND list = control;
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    constexpr size_t kChars = 512;
    char* remote = process ? static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t),
                                                               MEM_COMMIT, PAGE_READWRITE))
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
            out += (c ? "|" : "") + Utf8(text);
        }
        out += '\n';
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return Save(argv[3], out) ? 0 : 1;
}
