#include "monitor/run_actions.h"

#include "config/settings.h"

#include <vector>

namespace zarvex::monitor {

namespace {

// A timer stopped for the duration of its own handler, so that the handler
// never runs twice at once (a message box inside it keeps other timers going).
class HeldTimer {
public:
    explicit HeldTimer(Timer& t) : timer_(t) { timer_.Stop(); }
    ~HeldTimer() { timer_.Start(); }
    HeldTimer(const HeldTimer&) = delete;
    HeldTimer& operator=(const HeldTimer&) = delete;

private:
    Timer& timer_;
};

bool NoChangeAlertDue(const MonitorPoint& p, AlertMode mode, int16_t threshold)
{
    return mode == AlertMode::NoChange && p.counter >= threshold && !p.alerted;
}

bool ChangeAlertDue(const MonitorPoint& p, AlertMode mode)
{
    return mode == AlertMode::Change && p.counter > 0 && !p.alerted;
}

void RaiseAlert(RunContext& run, int row)
{
    // The address as it stands now, whether or not it would pass the check.
    if (run.notify)
        run.notify(run.table.At(row).number, run.window.EmailText());
    run.state.AlertRaised = true;
    run.table.Update(row, [](MonitorPoint& p) { p.alerted = true; });
    StartStopAction(run);
}

} // namespace

bool AddressAccepted(const std::string& address)
{
    // The suffix is ASCII, so comparing the last 8 bytes is comparing the last
    // 8 characters: an ASCII byte is never part of a longer UTF-8 character.
    const std::string suffix = kMailboxSuffix;
    return address.size() >= suffix.size() && address.compare(address.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void StartStopAction(RunContext& run)
{
    if (!AddressAccepted(run.window.EmailText())) {
        run.window.ShowMessage(kAddressMessage);
        return;
    }
    if (run.table.Count() == 0) {
        run.window.ShowMessage(kNoPointsMessage);
        return;
    }
    config::WriteText(run.configFile, config::kEmail.key, run.window.EmailText());
    config::WriteText(run.configFile, config::kGame.key, run.window.SearchText());

    if (run.window.StartStopCaption() != kStopCaption) {
        // Without readable pixels a run would only ever see unknown colours.
        if (const std::string why = run.screen.Unavailable(); !why.empty()) {
            run.window.ShowMessage(why);
            return;
        }
        run.window.SetStartStopCaption(kStopCaption);
        run.cursorTimer.Stop(); // the current point keeps its last values
        run.samplingTimer.Start();
        run.window.SetWindowCaption(RunningCaption());
        run.window.RunStarted();
    } else {
        run.window.SetStartStopCaption(kStartCaption);
        run.cursorTimer.Start();
        run.samplingTimer.Stop();
    }
}

void SamplingPass(RunContext& run)
{
    HeldTimer hold(run.samplingTimer);
    const int n = run.table.Count();
    if (n == 0)
        return;

    // Positions are 16-bit screen coordinates; anything else is off the screen.
    std::vector<platform::Point> points(static_cast<size_t>(n));
    std::vector<bool> onScreen(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const MonitorPoint& p = run.table.At(i);
        onScreen[static_cast<size_t>(i)] = p.x >= INT16_MIN && p.x <= INT16_MAX && p.y >= INT16_MIN && p.y <= INT16_MAX;
        points[static_cast<size_t>(i)] = {p.x, p.y};
    }
    std::vector<int32_t> colors(static_cast<size_t>(n), platform::kColorOutside);
    run.screen.PixelColors(points, colors);

    const AlertMode mode = run.window.Mode();
    const double threshold = run.state.Threshold;
    int row = 0;
    run.table.UpdateAll([&](MonitorPoint& p) {
        const size_t i = static_cast<size_t>(row++);
        if (i >= colors.size())
            return; // a point added during this pass waits for the next one
        const int32_t c = onScreen[i] ? colors[i] : platform::kColorOutside;
        // A pixel that could not be read (off every monitor, a capture that
        // failed) says nothing about the spot: it is neither a change nor the
        // same colour again, so the point waits for a reading that counts.
        if (c == platform::kColorOutside)
            return;
        if (mode == AlertMode::NoChange && c == p.lastColor) {
            // Counts unchanged seconds, and stops one above the threshold.
            if (p.counter <= threshold)
                p.counter += 1;
        } else {
            p.counter = 0;
        }
        if (mode == AlertMode::Change && c != p.lastColor)
            p.counter += 1;
        p.lastColor = c;
    });
}

void AlertPass(RunContext& run)
{
    HeldTimer hold(run.alertTimer);
    const int n = run.table.Count();
    for (int i = 0; i < n && i < run.table.Count(); ++i) {
        // The mode and the row are read afresh for each test: a message box of
        // the Start/Stop action lets the user and the other timers act meanwhile.
        if (NoChangeAlertDue(run.table.At(i), run.window.Mode(), run.state.Threshold))
            RaiseAlert(run, i);
        if (ChangeAlertDue(run.table.At(i), run.window.Mode()))
            RaiseAlert(run, i);
    }
}

} // namespace zarvex::monitor
