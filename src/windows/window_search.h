// The window list: the desktop's top-level windows whose title contains a
// text the user typed, and the timed bringing of those windows to the front
// in turn, so that one set of monitor points watches each of them.
#pragma once

#include "monitor/monitor_model.h"
#include "monitor/run_actions.h"
#include "platform/top_level_windows.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zarvex::windows {

struct WindowEntry {
    int32_t entryNo = 0;            // row number, from 1
    platform::WindowHandle handle = 0;
    std::string title;              // trimmed
    std::string shownAt;            // when it was last brought to the front; empty until then
};

// Shown in ListView1 with the texts of its four columns.
class WindowList {
public:
    // Appends and the clearing are announced before the rows change and
    // confirmed after; one row appended is one row announced, so a long
    // search costs the view one step per window, not a rebuild.
    struct Listener {
        virtual ~Listener() = default;
        virtual void RowAboutToBeAppended(int row) = 0;
        virtual void RowAppended() = 0;
        virtual void AboutToClear() = 0;
        virtual void Cleared() = 0;
        virtual void RowChanged(int row) = 0;
    };
    int Count() const { return static_cast<int>(rows_.size()); }
    const WindowEntry& At(int row) const { return rows_.at(static_cast<size_t>(row)); }
    void Clear();
    void Append(const WindowEntry& entry);
    void SetShownAt(int row, const std::string& when);
    void SetListener(Listener* listener) { listener_ = listener; }

private:
    std::vector<WindowEntry> rows_;
    Listener* listener_ = nullptr;
};

// The handle column: the window identifier as decimal text.
std::string HandleText(platform::WindowHandle handle);

// The title as the search sees it: at most 1023 bytes (cut at a character
// boundary), up to the first NUL, without leading and trailing spaces.
std::string TrimmedTitle(const std::string& title);

struct SearchState {
    int16_t FoundWindowCount = 0;
};

// Tests one window against the search text and appends it when it matches.
// Returns true: go on with the next window.
bool WindowMatchCallback(platform::WindowHandle window, WindowList& list, SearchState& search,
                         platform::TopLevelWindows& windows, const std::string& searchText);

// The Click of Command1: the list anew, every top-level window tested, and
// the window in front tested once more at the end.
void WindowSearch(WindowList& list, SearchState& search, platform::TopLevelWindows& windows,
                  const std::string& searchText);

// What a switch does to the main window.
class SwitchView {
public:
    virtual ~SwitchView() = default;
    virtual void ShowSwitchTicks(int32_t ticks) = 0; // Label1
    // Waits the given time with every timer of the window held; no tick is
    // made up afterwards.
    virtual void HeldWait(int milliseconds) = 0;
    virtual std::string Now() = 0; // local date and time as text
};

struct SwitchState {
    int32_t SwitchTicks = 0;
    int16_t CurrentWindowIndex = 0; // 1-based row shown last; 0 before the first switch
};

// The Timer5 tick: every (SwitchInterval + 1)-th tick, with two or more
// windows listed, the next one comes to the front; sampling pauses, every
// point's counter restarts at 0, and after 3 s sampling runs again.
void SwitchTick(SwitchState& sw, WindowList& list, monitor::MonitorState& state, monitor::MonitorTable& table,
                monitor::Timer& samplingTimer, platform::TopLevelWindows& windows, SwitchView& view);

inline constexpr const char* kSwitchRuleMessage = "窗口切换时间至少应比阀值大5秒";

// The rule the Click of Check1 ("多窗口自动切换") tests first, whichever way
// the box went: the switching interval exceeds the threshold by at least 5 s.
// When it fails the box is cleared, kSwitchRuleMessage shown, nothing else changes.
bool SwitchRuleHolds(const monitor::MonitorState& state);

} // namespace zarvex::windows
