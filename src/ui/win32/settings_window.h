// Form3 (配置) as a native window: the switching interval and the threshold,
// saved whole as the window closes (a bad number keeps it open with its
// message), and 本地提醒, the local sound, switched at once.
#pragma once

#include "monitor/monitor_model.h"

#include <windows.h>

#include <filesystem>

namespace zarvex::ui::win32 {

class SettingsWindow {
public:
    SettingsWindow(monitor::MonitorState& state, std::filesystem::path configFile, int dpi, HFONT font);
    ~SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    // Shows the window, loaded afresh, or brings the open one forward.
    void Open(HWND owner);
    // What its close box does: true when the window is closed now (or was not
    // open); false when a bad number keeps it open.
    bool Close();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    int Px(int twips) const { return MulDiv(twips, dpi_, 1440); }

    monitor::MonitorState& state_;
    std::filesystem::path configFile_;
    int dpi_;
    HFONT font_;
    HWND window_ = nullptr, chg_ = nullptr, fz_ = nullptr, check1_ = nullptr;
};

} // namespace zarvex::ui::win32
