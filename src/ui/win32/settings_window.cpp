#include "ui/win32/settings_window.h"

#include "config/settings_window_logic.h"
#include "platform/win32/code_pages.h"

#include <string>

namespace zarvex::ui::win32 {

using platform::win32::Narrow;
using platform::win32::Widen;

namespace {

enum : int { kLabel3 = 301, kTChg, kLabel2, kTFz, kCheck2, kCheck1 };

std::string Text(HWND control)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

} // namespace

SettingsWindow::SettingsWindow(monitor::MonitorState& state, std::filesystem::path configFile, int dpi, HFONT font)
    : state_(state), configFile_(std::move(configFile)), dpi_(dpi), font_(font)
{
}

SettingsWindow::~SettingsWindow()
{
    if (window_)
        DestroyWindow(window_);
}

void SettingsWindow::Open(HWND owner)
{
    if (window_) {
        SetForegroundWindow(window_);
        return;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"ZarvexForm3";
    RegisterClassExW(&wc); // fails harmlessly when already registered

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT r{0, 0, Px(3240), Px(2985)};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    window_ = CreateWindowExW(0, wc.lpszClassName, L"配置", style, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left,
                              r.bottom - r.top, owner, nullptr, wc.hInstance, this);
    auto add = [&](const wchar_t* type, const std::string& text, DWORD controlStyle, int id, int left, int top,
                   int width, int height) {
        HWND control = CreateWindowExW(std::wstring_view(type) == L"EDIT" ? WS_EX_CLIENTEDGE : 0, type,
                                       Widen(text).c_str(), WS_CHILD | WS_VISIBLE | controlStyle, Px(left), Px(top),
                                       Px(width), Px(height), window_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), wc.hInstance, nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return control;
    };
    // Load: the boxes show the settings in force, the check box whether the
    // local sound is on now.
    add(L"STATIC", "窗口切换间隔：", 0, kLabel3, 120, 120, 1320, 270);
    chg_ = add(L"EDIT", std::to_string(state_.SwitchInterval), WS_TABSTOP | ES_AUTOHSCROLL, kTChg, 1440, 120, 615, 270);
    add(L"STATIC", "阀值：", 0, kLabel2, 120, 480, 1320, 270);
    fz_ = add(L"EDIT", std::to_string(state_.Threshold), WS_TABSTOP | ES_AUTOHSCROLL, kTFz, 1440, 465, 615, 270);
    HWND check2 = add(L"BUTTON", "邮件提醒", BS_AUTOCHECKBOX | WS_DISABLED, kCheck2, 120, 720, 2000, 375);
    SendMessageW(check2, BM_SETCHECK, BST_CHECKED, 0); // the e-mail alert is always on
    check1_ = add(L"BUTTON", "本地提醒", WS_TABSTOP | BS_AUTOCHECKBOX, kCheck1, 120, 1200, 2000, 375);
    SendMessageW(check1_, BM_SETCHECK, state_.LocalAlertOn ? BST_CHECKED : BST_UNCHECKED, 0);
    ShowWindow(window_, SW_SHOWNORMAL);
}

bool SettingsWindow::Close()
{
    if (!window_)
        return true;
    const auto saved = config::CloseSettings(configFile_, Text(chg_), Text(fz_), {state_.Threshold, state_.SwitchInterval});
    if (!saved) {
        MessageBoxW(window_, Widen(config::kSettingsRefusal).c_str(), L"提示", MB_OK);
        return false; // stays open; nothing was written
    }
    state_.Threshold = saved->threshold;
    state_.SwitchInterval = saved->switchInterval;
    HWND window = window_;
    window_ = nullptr;
    DestroyWindow(window);
    return true;
}

LRESULT CALLBACK SettingsWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<SettingsWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->window_ == window) {
        switch (message) {
        case WM_CLOSE:
            self->Close();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) // Esc: as the close box
                self->Close();
            else if (LOWORD(wParam) == kCheck1 && HIWORD(wParam) == BN_CLICKED)
                self->state_.LocalAlertOn = SendMessageW(self->check1_, BM_GETCHECK, 0, 0) == BST_CHECKED;
            return 0;
        default:
            break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace zarvex::ui::win32
