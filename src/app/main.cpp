// Zarvex: marks spots on the screen and tells the user when they change, or
// stop changing, while they look elsewhere.
#include "config/file_locations.h"
#include "ui/qt/main_window.h"
#include "platform/platform.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

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
#if defined(__unix__) && !defined(__APPLE__)
    // Screen pixels and the global hot key are read through X11, so Qt must
    // speak X11 too (under Wayland that is XWayland).
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr,
                     "zarvex: no X11 display. Zarvex reads screen pixels and claims the global hot key Ctrl+W "
                     "through X11; start it on an X11 desktop (or XWayland), with DISPLAY set.\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName("Zarvex");
    // The menu entry's name: desktops match the window to its entry and icon by it.
    QGuiApplication::setDesktopFileName("org.zarvex.Zarvex");
    QApplication::setWindowIcon(QIcon::fromTheme("org.zarvex.Zarvex"));

    zarvex::monitor::InstallChineseTranslations();

    std::string reason;
    zarvex::platform::Platform platform = zarvex::platform::CreatePlatform(reason);
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
    const zarvex::config::FileLocations files = Locate();
    if (!zarvex::config::PrepareConfigFile(files))
        std::fprintf(stderr, "zarvex: cannot create the folder of %s; settings will not be saved\n",
                     files.configFile.string().c_str());
    zarvex::monitor::Form1 window(services, files);
    window.show();
    return QApplication::exec();
}
