// Form1, the main window: the user's entries (address, alert mode, window
// switching), the monitor point table, the window list, the menu, and the
// timers that drive cursor tracking, sampling, alerting, switching and sound.
#pragma once

#include "config/file_locations.h"
#include "hotkey/hot_key.h"
#include "monitor/monitor_model.h"
#include "ui/qt/point_table_model.h"
#include "monitor/run_actions.h"
#include "monitor/startup.h"
#include "notify/service_requests.h"
#include "platform/hot_keys.h"
#include "platform/screen.h"
#include "platform/sound.h"
#include "platform/top_level_windows.h"
#include "ui/qt/window_list_model.h"
#include "windows/window_search.h"

#include <QMainWindow>
#include <QPointer>

#include <filesystem>
#include <memory>

class QCheckBox;
class QLabel;
class QMessageBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class QTimer;

namespace zarvex::monitor {

class InfoWindow;

// Qt's own texts (message-box buttons: 确定/取消) in Chinese, like the rest
// of the interface. Call once, after the application object exists.
void InstallChineseTranslations();

struct Form1Services {
    platform::Screen* screen = nullptr;
    platform::HotKeys* hotKeys = nullptr;
    platform::Sound* sound = nullptr;
    platform::TopLevelWindows* windows = nullptr;
    // Replacements for the outside services; by default the update check and
    // the notification request go to the service named in config.ini.
    std::function<void()> checkForUpdate;
    std::function<void(const std::string& address)> notify;
    // Waits before the retries of a failed notification (tests shorten them).
    std::array<int, 3> notifyRetryDelaysMs = notify::kRetryDelaysMs;
    // The command that marks a point from outside (`zarvex --mark`), for the
    // words on binding it where Ctrl+W cannot be claimed.
    std::string markCommand = "zarvex --mark";
};

class Form1 : public QMainWindow, private StartupView, private RunWindow, private windows::SwitchView {
public:
    // Creating the window runs the start-up sequence with the settings and
    // sound in `files`; the second form keeps both in `programFolder`.
    Form1(const Form1Services& services, config::FileLocations files, QWidget* parent = nullptr);
    Form1(const Form1Services& services, const std::filesystem::path& programFolder, QWidget* parent = nullptr)
        : Form1(services, config::BesideProgram(programFolder), parent)
    {
    }
    ~Form1() override;

    MonitorState& State() { return state_; }
    MonitorTable& Points() { return table_; }
    windows::WindowList& Windows() { return windowList_; }
    windows::SwitchState& Switching() { return switch_; }
    const std::filesystem::path& ConfigFile() const { return configFile_; }

    // Twips (1/1440 inch) to pixels at the screen's logical resolution.
    int Px(int twips) const;

    // Handlers, public so that tests can drive them without waiting for timers.
    void OnTimer1(); // cursor tracking
    void AddPointFromHotKey();
    // Marks a point where the pointer is, or, where that is not known, where
    // the user clicks in a full-screen picker (the mark key, `zarvex --mark`).
    void MarkPoint();
    void OnStartStop();   // Click of Command2
    void OnSampling();    // Timer3
    void OnAlertPass();   // Timer2
    void OnSoundTick();   // Timer7
    void OnCheck1();      // Click of Check1, multi-window switching
    void OnSearch();      // Click of Command1
    void OnSwitchTick();  // Timer5
    void OpenSettings();  // menu command "系统配置"

    // Shows a modal message under the title "提示" with one OK button.
    void ShowMessage(const QString& text);
    // Tells what the desktop does not allow, once per start: a line in a
    // box that does not hold the window up, and on the standard error.
    void Notice(const std::string& text);

    // The update check and the notification request through HTTP, both in
    // the background; the update message appears when the answer comes.
    void CheckForUpdate();
    void SendNotification(int point, const std::string& address);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
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
    AlertMode Mode() const override;
    void ShowMessage(const std::string& text) override;
    void RunStarted() override;

    // SwitchView
    void ShowSwitchTicks(int32_t ticks) override;
    void HeldWait(int milliseconds) override;
    std::string Now() override;

    void BuildControls();
    void SetOuterHeightTwips(int twips);
    void ShowInfo(QPointer<InfoWindow>& window, int kind);
    // The line about a notification that could not be sent; empty: none.
    void ShowNotificationFailure(const std::string& line);

    Form1Services services_;
    std::filesystem::path configFile_;
    std::filesystem::path soundFile_;
    MonitorState state_;
    MonitorTable table_;
    PointTableModel pointModel_;
    std::unique_ptr<hotkey::HotKeyModule> hotKeyModule_;
    int outerHeightTwips_ = 3900;

    QLineEdit* Text1_ = nullptr;
    QLineEdit* Text2_ = nullptr;
    QPushButton* Command2_ = nullptr;
    QRadioButton* opt_whenchange_ = nullptr;
    QRadioButton* opt_whennotchange_ = nullptr;
    QCheckBox* Check1_ = nullptr;
    QLabel* Label2_ = nullptr;
    QLabel* mailFailure_ = nullptr; // in Label2's place while it has something to say
    QTableView* ListView2_ = nullptr;
    QLabel* Label1_ = nullptr;
    QLineEdit* Text3_ = nullptr;
    QLineEdit* serch_proc_ = nullptr;
    QPushButton* Command1_ = nullptr;
    QTableView* ListView1_ = nullptr;
    windows::WindowList windowList_;
    windows::WindowListModel windowListModel_{windowList_};
    windows::SearchState search_;
    windows::SwitchState switch_;
    QPointer<QDialog> settingsWindow_;

    QTimer* Timer1_ = nullptr;
    QTimer* Timer2_ = nullptr;
    QTimer* Timer3_ = nullptr;
    QTimer* Timer5_ = nullptr;
    QTimer* Timer7_ = nullptr;

    class TimerAdapter;
    std::unique_ptr<TimerAdapter> timer1_, timer2_, timer3_;
    std::unique_ptr<RunContext> run_;
    std::unique_ptr<notify::UpdateCheck> updateCheck_;
    std::unique_ptr<notify::NotificationSender> notifications_;
    // Declared last, so destroyed first: outcomes still to come are dropped
    // before the objects they would reach are gone.
    std::unique_ptr<notify::BackgroundRunner> runner_;

    class PointPicker* picker_ = nullptr;
    QLabel* noSwitching_ = nullptr; // in the window list's place where windows cannot be switched
    QPointer<QMessageBox> notices_;
    std::vector<std::string> told_;

    QPointer<InfoWindow> tipsWindow_;
    QPointer<InfoWindow> aboutWindow_;
};

} // namespace zarvex::monitor
