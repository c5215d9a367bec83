// A monitoring run: the Start/Stop action, the sampling pass (once a second
// while a run is active) and the alert pass (once a second, always). Plain
// functions over the table, the shared values and small interfaces to the
// window, its timers, the screen and the notification service.
#pragma once

#include "monitor/monitor_model.h"
#include "platform/screen.h"

#include <filesystem>
#include <functional>
#include <string>

namespace zarvex::monitor {

inline constexpr const char* kAddressMessage = "请填写邮箱,只能是163的邮箱";
inline constexpr const char* kNoPointsMessage = "请设置采集点！鼠标移到指定位置按CTRL+W即可。";
// The permitted address ends with this (an at sign and one provider's domain).
inline constexpr const char* kMailboxSuffix = "@163.com";
inline constexpr const char* kStartCaption = "启动";
inline constexpr const char* kStopCaption = "停止";

class Timer {
public:
    virtual ~Timer() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsRunning() const = 0;
};

enum class AlertMode { NoChange, Change };

// What the run reads and writes on the main window.
class RunWindow {
public:
    virtual ~RunWindow() = default;
    virtual std::string EmailText() const = 0;  // Text2
    virtual std::string SearchText() const = 0; // serch_proc
    virtual std::string StartStopCaption() const = 0;
    virtual void SetStartStopCaption(const std::string& caption) = 0;
    virtual void SetWindowCaption(const std::string& caption) = 0;
    virtual AlertMode Mode() const = 0; // which option button is selected now
    virtual void ShowMessage(const std::string& text) = 0; // modal, title "提示"
    // A run has started: what the window said about the last one may go.
    virtual void RunStarted() {}
};

struct RunContext {
    MonitorState& state;
    MonitorTable& table;
    RunWindow& window;
    Timer& cursorTimer;   // Timer1
    Timer& alertTimer;    // Timer2
    Timer& samplingTimer; // Timer3
    platform::Screen& screen;
    // The notification request for a point (its number) and an address; it
    // may go on in the background, the alert does not wait for it.
    std::function<void(int point, const std::string& address)> notify;
    std::filesystem::path configFile;
};

// Whether the address may receive alerts: its last 8 characters are the suffix.
bool AddressAccepted(const std::string& address);

// The Click of Command2: checks the address and the table, saves "email" and
// "game", then starts a run ("停止", tracking off, sampling on) or stops it.
void StartStopAction(RunContext& run);

// The Timer event of Timer3: one reading of every point's pixel (one screen
// access for the whole pass) and the counter rules of the selected mode.
void SamplingPass(RunContext& run);

// The Timer event of Timer2: every point that meets its mode's test and has
// not alerted yet is alerted: notification, AlertRaised, "已提醒", Start/Stop.
void AlertPass(RunContext& run);

} // namespace zarvex::monitor
