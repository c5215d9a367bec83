#include "monitor/startup.h"

#include "config/settings.h"

namespace zarvex::monitor {

void RunStartup(MonitorState& state, const std::filesystem::path& configFile, StartupView& view,
                const StartupServices& services)
{
    state.AlertRaised = false;
    state.LocalAlertOn = true;

    if (services.checkForUpdate)
        services.checkForUpdate();

    view.SelectNoChangeMode();
    view.ApplyCompactLayout();

    state.Threshold = config::ReadNumber(configFile, config::kThreshold);
    state.SwitchInterval = config::ReadNumber(configFile, config::kSwitchInterval);
    const int16_t tips = config::ReadNumber(configFile, config::kTips);
    view.SetEmailText(config::ReadText(configFile, config::kEmail));
    view.SetSearchText(config::ReadText(configFile, config::kGame));

    // The shipped file says on how many start-ups the tips appear.
    if (tips > 0) {
        view.ShowTipsWindow();
        config::WriteText(configFile, config::kTips.key, std::to_string(tips - 1));
    }

    if (services.registerHotKey)
        services.registerHotKey();

    view.PrepareWindowList();
    view.PreparePointTable();
}

} // namespace zarvex::monitor
