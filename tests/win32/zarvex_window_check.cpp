// Reads and clicks a running zarvex.exe from another process, as a user would:
//   zarvex_window_check list ID RESULT_FILE  the list control with that id in
//                                            Form1, one line per row, its
//                                            columns joined by '|'
//   zarvex_window_check click ID             a click on that button of Form1
//                                            (posted: a message box it opens
//                                            would block a sent one)
//   zarvex_window_check command ID           a menu command of Form1
//   zarvex_window_check settext CLASS ID TEXT  the text of a control of the
//                                            window of that class (ASCII)
//   zarvex_window_check close CLASS          the close box of that window
//   zarvex_window_check windows RESULT_FILE  the titles of the visible
//                                            top-level windows, one a line
// The list's text lives in the other process, so it is fetched through a
// buffer there.
#include <windows.h>
#include <commctrl.h>

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

BOOL CALLBACK AddTitle(HWND window, LPARAM titles)
{
    wchar_t text[512] = {};
    if (IsWindowVisible(window) && GetWindowTextW(window, text, 512) > 0)
        *reinterpret_cast<std::string*>(titles) += Utf8(text) + "\n";
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string mode = argv[1];
    if (mode == "windows") {
        std::string titles;
        EnumWindows(AddTitle, reinterpret_cast<LPARAM>(&titles));
        return Save(argv[2], titles) ? 0 : 1;
    }
    if (mode == "settext" || mode == "close") {
        const std::string name = argv[2];
        HWND window = FindWindowW(std::wstring(name.begin(), name.end()).c_str(), nullptr);
        if (!window)
            return 1;
        if (mode == "close")
            return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
        HWND box = argc > 4 ? GetDlgItem(window, std::atoi(argv[3])) : nullptr;
        const std::string text = argc > 4 ? argv[4] : "";
        return box && SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(std::wstring(text.begin(), text.end()).c_str()))
            ? 0
            : 1;
    }
    HWND form = FindWindowW(L"ZarvexForm1", nullptr);
    if (form && mode == "command")
        return PostMessageW(form, WM_COMMAND, static_cast<WPARAM>(std::atoi(argv[2])), 0) ? 0 : 1;
    HWND control = form ? GetDlgItem(form, std::atoi(argv[2])) : nullptr;
    if (!control)
        return 1;
    if (mode == "click")
        return PostMessageW(control, BM_CLICK, 0, 0) ? 0 : 1;
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
