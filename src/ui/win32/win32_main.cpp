// The native Windows program: Form1 and the thread's message loop.
#include "config/file_locations.h"
#include "ui/win32/main_window.h"

#include <commctrl.h>

#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    // config.ini beside the program, or in the user's folder for a copy whose
    // folder takes no new files.
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const auto files = zarvex::config::LocateFiles(std::filesystem::path(path).parent_path(),
                                                   zarvex::config::UserSettingsFolder());
    zarvex::config::PrepareConfigFile(files);
    zarvex::ui::win32::MainWindow form1(files);
    if (!form1.Create(instance))
        return 1;

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab moves between the controls of the active window, Esc closes the settings window.
        HWND active = GetActiveWindow();
        if (active && IsDialogMessageW(active, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
