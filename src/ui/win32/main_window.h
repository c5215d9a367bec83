// Form1 as a native window: the menu, the controls at their design positions
// (twips at the system DPI), the start-up sequence, cursor tracking in the
// caption, Ctrl+W adding rows to ListView2, Start/Stop with the sampling and
// alert passes and the notification request, the repeating sound, Check1 with
// its rule, the window search into ListView1 and the switching between its
// windows, the settings and about windows from the menu, and the exit
// confirmation.
#pragma once

#include "config/file_locations.h"
#include "hotkey/hot_key.h"
#include "monitor/monitor_model.h"
#include "monitor/run_actions.h"
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
#include <vector>

namespace zarvex::ui::win32 {

class MainWindow : private monitor::StartupView, private monitor::RunWindow, private windows::SwitchView {
public:
    explicit MainWindow(config::FileLocations files);
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
    // Form1 follows the DPI of the monitor it is on: every control is placed
    // again from its design geometry, the font and the columns scaled.
    void ApplyDpi(int dpi);
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

    // RunWindow
    std::string EmailText() const override;
    std::string SearchText() const override;
    std::string StartStopCaption() const override;
    void SetStartStopCaption(const std::string& caption) override;
    void SetWindowCaption(const std::string& caption) override;
    monitor::AlertMode Mode() const override;
    void ShowMessage(const std::string& text) override;
    void RunStarted() override;

    // SwitchView
    void ShowSwitchTicks(int32_t ticks) override;
    void HeldWait(int milliseconds) override;
    std::string Now() override;

    // A window timer the run logic starts and stops (SetTimer / KillTimer).
    class WindowTimer : public monitor::Timer {
    public:
        WindowTimer(const MainWindow& owner, UINT_PTR id, UINT interval) : owner_(owner), id_(id), interval_(interval) {}
        void Start() override;
        void Stop() override;
        bool IsRunning() const override { return running_; }

    private:
        const MainWindow& owner_;
        UINT_PTR id_;
        UINT interval_;
        bool running_ = false;
    };

    // The line about a notification that could not be sent; empty: none.
    void ShowNotificationFailure(const std::string& line);

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
    std::filesystem::path soundFile_;
    int dpi_ = 96, systemDpi_ = 96;
    HWND window_ = nullptr;
    // The message font at the system DPI (for the smaller windows, which the
    // system scales) and at Form1's DPI.
    LOGFONTW messageFont_{};
    HFONT systemFont_ = nullptr, font_ = nullptr;
    struct Placed {
        HWND control;
        int left, top, width, height; // twips
    };
    std::vector<Placed> placed_;
    HWND text2_ = nullptr, command2_ = nullptr, optChange_ = nullptr, optNoChange_ = nullptr;
    HWND check1_ = nullptr, label2_ = nullptr, mailFailure_ = nullptr, listView2_ = nullptr, label1_ = nullptr, text3_ = nullptr;
    HWND serchProc_ = nullptr, command1_ = nullptr, listView1_ = nullptr;
    HWND tips_ = nullptr, about_ = nullptr;

    platform::win32::Win32Screen screen_;
    platform::win32::Win32HotKeys hotKeys_;
    platform::win32::Win32Windows windows_;
    platform::win32::Win32Sound sound_;
    monitor::MonitorState state_;
    monitor::MonitorTable table_;
    windows::WindowList windowList_;
    PointRows pointRows_{*this};
    WindowRows windowRows_{*this};
    windows::SearchState search_;
    windows::SwitchState switch_;
    WindowTimer timer1_{*this, 1, 100}, timer2_{*this, 2, 1000}, timer3_{*this, 3, 1000}, timer5_{*this, 5, 1000},
        timer7_{*this, 7, 3000};
    std::unique_ptr<monitor::RunContext> run_;
    std::unique_ptr<hotkey::HotKeyModule> hotKey_;
    std::unique_ptr<SettingsWindow> settings_;
    // The update check and the notification request run in the background: a
    // silent service never holds up the window.
    Win32BackgroundRunner runner_;
    notify::UpdateCheck updateCheck_{runner_, notify::PostEmpty};
    notify::NotificationSender notifications_{runner_, notify::PostEmpty,
                                              [this](const std::string& line) { ShowNotificationFailure(line); }};
};

} // namespace zarvex::ui::win32
