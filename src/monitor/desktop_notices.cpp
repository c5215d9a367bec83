#include "monitor/desktop_notices.h"

namespace zarvex::monitor {

std::string BindMarkHint(const std::string& markCommand)
{
    return "请在桌面的键盘设置里添加快捷键 Ctrl+W，命令填：" + markCommand;
}

std::vector<std::string> DesktopNotices(const DesktopAbilities& abilities, const std::string& markCommand)
{
    std::vector<std::string> notices;
    if (!abilities.hotKey)
        notices.push_back("这个桌面没有全局快捷键服务，CTRL+W 不能直接设置监控点。" + BindMarkHint(markCommand));
    if (!abilities.windows)
        notices.push_back(kNoWindowSwitching);
    else if (!abilities.keepsOnTop)
        notices.push_back("这个桌面上切换到的窗口只是被带到前面，不能一直保持在最上层。");
    return notices;
}

} // namespace zarvex::monitor
