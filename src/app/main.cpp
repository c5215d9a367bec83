// Zarvex: marks spots on the screen and tells the user when they change, or
// stop changing, while they look elsewhere.
#include "config/file_locations.h"
#include "config/settings.h"
#include "monitor/desktop_notices.h"
#include "ui/qt/instance_channel.h"
#include "ui/qt/main_window.h"
#include "platform/platform.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Where this copy keeps its settings and finds its sound; needs a
// QCoreApplication for the program's folder.
zarvex::config::FileLocations Locate()
{
    return zarvex::config::LocateFiles(std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()),
                                       zarvex::config::UserSettingsFolder());
}

} // namespace

int main(int argc, char** argv)
{
    // Answered without a display, so that scripts and bug reports can ask.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--config-path") == 0) {
            const QCoreApplication core(argc, argv);
            std::printf("%s\n", Locate().configFile.string().c_str());
            return 0;
        }
    }
    bool mark = false;
    for (int i = 1; i < argc; ++i)
        mark = mark || std::strcmp(argv[i], "--mark") == 0;
    if (mark) {
        // No display needed: the running instance does the marking.
        const QCoreApplication core(argc, argv);
        if (zarvex::monitor::SendToRunningInstance("mark"))
            return 0;
        std::fprintf(stderr, "zarvex: no Zarvex is running for this user to add the point (start zarvex first).\n");
        return 1;
    }
#if defined(__unix__) && !defined(__APPLE__)
    // Qt's windows go where the backends read: in a Wayland session the
    // Wayland ones, even where XWayland runs (through X a program sees only
    // X programs' pixels, and keys only while an X window has the focus).
    const auto session = zarvex::platform::SessionKindNow();
    if (session == zarvex::platform::DisplaySession::None) {
        std::fprintf(stderr,
                     "zarvex: no desktop session: neither WAYLAND_DISPLAY nor DISPLAY is set. Start Zarvex from a "
                     "desktop session (Wayland or X11).\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", session == zarvex::platform::DisplaySession::Wayland ? "wayland" : "xcb");
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName("Zarvex");
    // The menu entry's name: desktops match the window to its entry and icon by it.
    QGuiApplication::setDesktopFileName("org.zarvex.Zarvex");
    QApplication::setWindowIcon(QIcon::fromTheme("org.zarvex.Zarvex"));

    // One instance per user: a second start brings the first one forward.
    if (zarvex::monitor::SendToRunningInstance("raise"))
        return 0;

    zarvex::monitor::InstallChineseTranslations();

    const zarvex::config::FileLocations files = Locate();
    if (!zarvex::config::PrepareConfigFile(files))
        std::fprintf(stderr, "zarvex: cannot create the folder of %s; settings will not be saved\n",
                     files.configFile.string().c_str());

    // What the desktop withholds after start-up is told by the window once it
    // exists; until then it waits here.
    zarvex::monitor::Form1* shown = nullptr;
    std::vector<std::string> early;
    const std::string markCommand = QCoreApplication::applicationFilePath().toStdString() + " --mark";
    zarvex::platform::PlatformOptions options;
    options.screenCastToken = zarvex::config::ReadText(files.configFile, zarvex::config::kScreenCastToken);
    options.keepScreenCastToken = [&files](const std::string& token) {
        zarvex::config::WriteText(files.configFile, zarvex::config::kScreenCastToken.key, token);
    };
    options.markHint = zarvex::monitor::BindMarkHint(markCommand);
    options.notice = [&shown, &early](const std::string& text) {
        if (shown)
            shown->Notice(text);
        else
            early.push_back(text);
    };

    std::string reason;
    zarvex::platform::Platform platform = zarvex::platform::CreatePlatform(reason, options);
    if (!platform.screen) {
        std::fprintf(stderr, "zarvex: %s\n", reason.c_str());
        QMessageBox::critical(nullptr, QString::fromUtf8("提示"), QString::fromStdString(reason));
        return 1;
    }

    zarvex::monitor::Form1Services services;
    services.screen = platform.screen.get();
    services.hotKeys = platform.hotKeys.get();
    services.sound = platform.sound.get();
    services.windows = platform.windows.get();
    services.markCommand = markCommand;
    zarvex::monitor::Form1 window(services, files);
    window.show();
    shown = &window;
    for (const std::string& text : early)
        window.Notice(text);

    zarvex::monitor::InstanceChannel channel([&window](const QString& command) {
        if (command == "mark") {
            window.MarkPoint();
        } else if (command == "raise") {
            window.show();
            window.raise();
            window.activateWindow();
        }
    });
    if (QString error; !channel.Listen(error))
        std::fprintf(stderr, "zarvex: zarvex --mark cannot reach this window (%s)\n", error.toLocal8Bit().constData());
    const int result = QApplication::exec();
    shown = nullptr;
    return result;
}
