// Zarvex: marks spots on the screen and tells the user when they change, or
// stop changing, while they look elsewhere.
#include "ui/qt/main_window.h"
#include "platform/platform.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
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
    zarvex::monitor::Form1 window(services, QCoreApplication::applicationDirPath().toStdString());
    window.show();
    return QApplication::exec();
}
