#include "monitor/monitor_model.h"

#include <cmath>
#include <cstdio>

namespace zarvex::monitor {

std::string CounterText(double counter)
{
    // Counters are whole numbers held in a double: "1", "2", never "2.0".
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", std::nearbyint(counter));
    return buffer;
}

std::string StatusText(const MonitorPoint& p)
{
    return p.alerted ? kAlertedStatus : "";
}

void MonitorTable::Append(const MonitorPoint& point)
{
    if (listener_)
        listener_->RowsAboutToBeAppended(Count(), Count());
    rows_.push_back(point);
    if (listener_)
        listener_->RowsAppended();
}

void MonitorTable::Update(int row, const std::function<void(MonitorPoint&)>& change)
{
    change(rows_.at(static_cast<size_t>(row)));
    if (listener_)
        listener_->RowsChanged(row, row);
}

void MonitorTable::UpdateAll(const std::function<void(MonitorPoint&)>& change)
{
    if (rows_.empty())
        return;
    for (auto& p : rows_)
        change(p);
    if (listener_)
        listener_->RowsChanged(0, Count() - 1);
}

void MonitorTable::Clear()
{
    if (listener_)
        listener_->AboutToClear();
    rows_.clear();
    if (listener_)
        listener_->Cleared();
}

AddResult AddMonitorPoint(MonitorTable& table, const MonitorState& state)
{
    if (table.Count() >= kMaxPoints)
        return AddResult::TableFull;
    MonitorPoint p;
    p.number = table.Count() + 1;
    p.x = state.CurrentX;
    p.y = state.CurrentY;
    p.group = "A";
    p.counter = 0;
    p.lastColor = state.CurrentColor;
    p.alerted = false;
    table.Append(p);
    return AddResult::Added;
}

std::string CursorCaption(int32_t x, int32_t y)
{
    return "Zarvexv" + std::string(kVersion) + " 鼠标位置：" + std::to_string(x) + "，" + std::to_string(y);
}

std::string RunningCaption()
{
    return "Zarvexv" + std::string(kVersion);
}

std::string TrackCursor(platform::Screen& screen, MonitorState& state)
{
    // Where the pointer is not known (a Wayland desktop), reading the pixel at
    // {0, 0} every tick would cost a capture and show a made-up position.
    if (!screen.KnowsCursorPosition())
        return {};
    const platform::Point p = screen.CursorPosition();
    state.CurrentX = p.x;
    state.CurrentY = p.y;
    state.CurrentColor = screen.PixelColor(p);
    return CursorCaption(p.x, p.y);
}

} // namespace zarvex::monitor
