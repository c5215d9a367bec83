// The native Windows program: Form1 and the thread's message loop.
#include "ui/win32/main_window.h"

#include <commctrl.h>

#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    // config.ini and tx.wav lie beside the program.
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    zarvex::ui::win32::MainWindow form1(std::filesystem::path(path).parent_path());
    if (!form1.Create(instance))
        return 1;

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (form1.Window() && IsDialogMessageW(form1.Window(), &message))
            continue; // Tab moves between the controls
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
