#include "windows/window_search.h"

namespace zarvex::windows {

void WindowList::Clear()
{
    if (listener_)
        listener_->AboutToClear();
    rows_.clear();
    if (listener_)
        listener_->Cleared();
}

void WindowList::Append(const WindowEntry& entry)
{
    if (listener_)
        listener_->RowAboutToBeAppended(Count());
    rows_.push_back(entry);
    if (listener_)
        listener_->RowAppended();
}

void WindowList::SetShownAt(int row, const std::string& when)
{
    rows_.at(static_cast<size_t>(row)).shownAt = when;
    if (listener_)
        listener_->RowChanged(row);
}

std::string HandleText(platform::WindowHandle handle)
{
    // X window ids use 29 bits: the decimal text is the same signed or unsigned.
    return std::to_string(static_cast<int32_t>(handle));
}

std::string TrimmedTitle(const std::string& title)
{
    std::string t = title.substr(0, title.find('\0'));
    if (t.size() > 1023) {
        size_t cut = 1023;
        while (cut > 0 && (static_cast<unsigned char>(t[cut]) & 0xC0) == 0x80)
            --cut; // never half a character
        t.resize(cut);
    }
    const size_t begin = t.find_first_not_of(' ');
    if (begin == std::string::npos)
        return {};
    return t.substr(begin, t.find_last_not_of(' ') - begin + 1);
}

bool WindowMatchCallback(platform::WindowHandle window, WindowList& list, SearchState& search,
                         platform::TopLevelWindows& windows, const std::string& searchText)
{
    const std::string title = TrimmedTitle(windows.WindowText(window));
    if (!title.empty() && title.find(searchText) != std::string::npos) {
        if (search.FoundWindowCount == INT16_MAX)
            return false; // beyond what the list can number
        ++search.FoundWindowCount;
        list.Append({search.FoundWindowCount, window, title, ""});
    }
    return true;
}

void WindowSearch(WindowList& list, SearchState& search, platform::TopLevelWindows& windows,
                  const std::string& searchText)
{
    search.FoundWindowCount = 0;
    list.Clear();
    windows.EnumWindows([&](platform::WindowHandle w) {
        return WindowMatchCallback(w, list, search, windows, searchText);
    });
    // The window in front once more: when it matches, it is listed twice.
    WindowMatchCallback(windows.ForegroundWindow(), list, search, windows, searchText);
}

void SwitchTick(SwitchState& sw, WindowList& list, monitor::MonitorState& state, monitor::MonitorTable& table,
                monitor::Timer& samplingTimer, platform::TopLevelWindows& windows, SwitchView& view)
{
    ++sw.SwitchTicks;
    view.ShowSwitchTicks(sw.SwitchTicks);
    if (sw.SwitchTicks <= state.SwitchInterval)
        return;
    if (list.Count() > 1) {
        ++sw.CurrentWindowIndex;
        if (sw.CurrentWindowIndex > list.Count())
            sw.CurrentWindowIndex = 1;
        samplingTimer.Stop();
        table.UpdateAll([](monitor::MonitorPoint& p) { p.counter = 0; });
        const int row = sw.CurrentWindowIndex - 1;
        // A window closed meanwhile simply does not come up; the rest goes on.
        windows.RaiseTopmost(list.At(row).handle);
        list.SetShownAt(row, view.Now());
        view.HeldWait(3000); // for the window to be drawn
        samplingTimer.Start(); // also when no run was active
    }
    sw.SwitchTicks = 0;
}

bool SwitchRuleHolds(const monitor::MonitorState& state)
{
    return state.SwitchInterval >= state.Threshold + 5;
}

} // namespace zarvex::windows
