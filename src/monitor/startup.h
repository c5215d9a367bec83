// The start-up sequence of the main window, in its order, over what it does
// to the window and the services it calls, so that it can run against fakes.
#pragma once

#include "monitor/monitor_model.h"

#include <filesystem>
#include <functional>
#include <string>

namespace zarvex::monitor {

class StartupView {
public:
    virtual ~StartupView() = default;
    virtual void SelectNoChangeMode() = 0;
    virtual void ApplyCompactLayout() = 0; // search part hidden, outer height 3900 twips
    virtual void SetEmailText(const std::string& text) = 0;
    virtual void SetSearchText(const std::string& text) = 0;
    virtual void ShowTipsWindow() = 0;
    virtual void PrepareWindowList() = 0; // cleared, four columns
    virtual void PreparePointTable() = 0; // cleared, seven columns
};

struct StartupServices {
    std::function<void()> checkForUpdate;  // starts it; its message comes with the answer
    std::function<void()> registerHotKey;  // Ctrl+W under id 1, with the hook
};

// 1 flags, 2 update check, 3 no-change mode, 4 compact layout, 5 settings
// (fz, chgwnd, tips, email, game), 6 tips window while the counter is above 0
// (counted down in the file), 7 hot key, 8 window list, 9 point table.
void RunStartup(MonitorState& state, const std::filesystem::path& configFile, StartupView& view,
                const StartupServices& services);

} // namespace zarvex::monitor
