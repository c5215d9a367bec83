// The monitor point table and the program-wide values the monitoring parts
// share. The table is the only store of per-point state: sampling, alerting
// and window switching read and write its rows; the view shows them as text.
#pragma once

#include "platform/screen.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zarvex::monitor {

inline constexpr const char* kVersion = "4.0.1";
inline constexpr const char* kAlertedStatus = "已提醒";
// Point numbers are 16-bit: the table holds at most this many points.
inline constexpr int32_t kMaxPoints = 32767;

struct MonitorPoint {
    int32_t number = 0; // 1-based, no gaps
    int32_t x = 0;      // screen position in pixels
    int32_t y = 0;
    std::string group = "A";
    double counter = 0;    // whole number: seconds unchanged, or 1 after a change (by mode)
    int32_t lastColor = 0; // colour at the last reading (red low byte; -1 outside the screen)
    bool alerted = false;  // shown as "已提醒"; never cleared
};

// The texts the table shows, column by column.
std::string CounterText(double counter);
std::string StatusText(const MonitorPoint& p);

class MonitorTable {
public:
    // Told about every change, so that a view can follow. Appends and the
    // clearing are announced before the rows change and confirmed after: a
    // view may still read the old rows between the two.
    struct Listener {
        virtual ~Listener() = default;
        virtual void RowsAboutToBeAppended(int first, int last) = 0;
        virtual void RowsAppended() = 0;
        virtual void RowsChanged(int first, int last) = 0;
        virtual void AboutToClear() = 0;
        virtual void Cleared() = 0;
    };

    int Count() const { return static_cast<int>(rows_.size()); }
    const MonitorPoint& At(int row) const { return rows_.at(static_cast<size_t>(row)); }
    const std::vector<MonitorPoint>& Rows() const { return rows_; }

    void Append(const MonitorPoint& point);
    // Changes one row and tells the listener.
    void Update(int row, const std::function<void(MonitorPoint&)>& change);
    // Changes every row at once (one notification).
    void UpdateAll(const std::function<void(MonitorPoint&)>& change);
    void Clear();

    void SetListener(Listener* listener) { listener_ = listener; }

private:
    std::vector<MonitorPoint> rows_;
    Listener* listener_ = nullptr;
};

// Program-wide values, alive for the whole run.
struct MonitorState {
    int32_t CurrentX = 0; // the current point, kept by cursor tracking
    int32_t CurrentY = 0;
    int32_t CurrentColor = 0;
    int16_t Threshold = 60;      // alert threshold in seconds ("fz")
    int16_t SwitchInterval = 70; // seconds between window switches ("chgwnd")
    bool LocalAlertOn = true;    // local sound enabled
    bool AlertRaised = false;    // an alert has been raised; never set back
};

enum class AddResult { Added, TableFull };

// Appends a point from the current position and colour: number = rows + 1,
// group "A", counter 0, no status. A full table is left unchanged.
AddResult AddMonitorPoint(MonitorTable& table, const MonitorState& state);

// One cursor-tracking tick: reads the cursor and the colour under it into the
// current point and returns the window caption that shows the position;
// nothing (empty) where the screen does not know where the cursor is.
std::string TrackCursor(platform::Screen& screen, MonitorState& state);

std::string CursorCaption(int32_t x, int32_t y);
std::string RunningCaption();

} // namespace zarvex::monitor
