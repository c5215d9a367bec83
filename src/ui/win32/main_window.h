// Form1 as a native window: the menu, the controls at their design positions
// (twips at the system DPI), the start-up sequence, cursor tracking in the
// caption, Ctrl+W adding rows to ListView2, Check1 with its rule and the
// window search into ListView1, the settings and about windows from the menu,
// and the exit confirmation.
#pragma once

#include "hotkey/hot_key.h"
#include "monitor/monitor_model.h"
#include "monitor/startup.h"
#include "platform/win32/win32_platform.h"
#include "notify/service_requests.h"
#include "ui/win32/settings_window.h"
#include "ui/win32/win32_background_runner.h"
#include "windows/window_search.h"

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

namespace zarvex::ui::win32 {

class MainWindow : private monitor::StartupView {
public:
    explicit MainWindow(std::filesystem::path configFile);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window, runs the start-up sequence and shows it.
    bool Create(HINSTANCE instance);
    HWND Window() const { return window_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    int Px(int twips) const;
    HWND AddControl(const wchar_t* type, const std::string& text, DWORD style, int id, int left, int top, int width,
                    int height);
    void SetOuterHeightTwips(int twips);
    void PrepareList(HWND list, const char* const* names, const int* widths, int count);
    void ShowInfoWindow(bool tips);

    // StartupView
    void SelectNoChangeMode() override;
    void ApplyCompactLayout() override;
    void SetEmailText(const std::string& text) override;
    void SetSearchText(const std::string& text) override;
    void ShowTipsWindow() override;
    void PrepareWindowList() override;
    void PreparePointTable() override;

    // ListView2 follows the monitor point table.
    struct PointRows : monitor::MonitorTable::Listener {
        explicit PointRows(MainWindow& w) : window(w) {}
        void RowsAboutToBeAppended(int first, int last) override;
        void RowsAppended() override;
        void RowsChanged(int first, int last) override;
        void AboutToClear() override {}
        void Cleared() override;
        MainWindow& window;
        int first = 0, last = -1;
    };
    // ListView1 follows the window list.
    struct WindowRows : windows::WindowList::Listener {
        explicit WindowRows(MainWindow& w) : window(w) {}
        void RowAboutToBeAppended(int row) override { appended = row; }
        void RowAppended() override;
        void AboutToClear() override {}
        void Cleared() override;
        void RowChanged(int row) override;
        MainWindow& window;
        int appended = 0;
    };
    void ShowPointRow(int row, bool insert);
    void ShowWindowRow(int row, bool insert);

    void OnCheck1();
    void OnSearch();
    void SetSearchPartVisible(bool visible);

    std::filesystem::path configFile_;
    int dpi_ = 96;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    HWND text2_ = nullptr, command2_ = nullptr, optChange_ = nullptr, optNoChange_ = nullptr;
    HWND check1_ = nullptr, listView2_ = nullptr, label1_ = nullptr, text3_ = nullptr;
    HWND serchProc_ = nullptr, command1_ = nullptr, listView1_ = nullptr;
    HWND tips_ = nullptr, about_ = nullptr;

    platform::win32::Win32Screen screen_;
    platform::win32::Win32HotKeys hotKeys_;
    platform::win32::Win32Windows windows_;
    monitor::MonitorState state_;
    monitor::MonitorTable table_;
    windows::WindowList windowList_;
    PointRows pointRows_{*this};
    WindowRows windowRows_{*this};
    windows::SearchState search_;
    std::unique_ptr<hotkey::HotKeyModule> hotKey_;
    std::unique_ptr<SettingsWindow> settings_;
    // The update check runs in the background: a silent service never holds
    // up the window.
    Win32BackgroundRunner runner_;
    notify::UpdateCheck updateCheck_{runner_, notify::PostEmpty};
};

} // namespace zarvex::ui::win32
