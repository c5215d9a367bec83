#include "desktop_support.h"

#include "ui/qt/main_window.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <cstdio>
#include <memory>

namespace zarvex::test {

namespace {
int g_argc = 1;
char g_arg0[] = "desktop_tests";
char* g_argv[] = {g_arg0, nullptr};
std::unique_ptr<QApplication> g_app;
std::unique_ptr<platform::Platform> g_platform;
std::string g_runtime; // created here, removed at the end
} // namespace

void DesktopEnvironment::SetUp()
{
    // The virtual desktop started for the tests names its display in a file;
    // every command the tests run inherits it.
    if (const char* session = std::getenv("ZARVEX_XSESSION")) {
        std::ifstream in(std::filesystem::path(session) / "display");
        std::string display;
        ASSERT_TRUE(std::getline(in, display)) << "no virtual desktop is running (the xsession_start test starts one)";
        ::setenv("DISPLAY", display.c_str(), 1);
    }
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "desktop tests run on a virtual desktop (see tests/desktop)";
    qputenv("QT_QPA_PLATFORM", "xcb");
    // Qt wants a private runtime folder; each test process gets its own.
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        g_runtime = "/tmp/zarvex-test-runtime-" + std::to_string(::getpid());
        ::mkdir(g_runtime.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", g_runtime.c_str(), 1);
    }
    g_app = std::make_unique<QApplication>(g_argc, g_argv);
    monitor::InstallChineseTranslations();
    std::string reason;
    g_platform = std::make_unique<platform::Platform>(platform::CreatePlatform(reason));
    ASSERT_TRUE(g_platform->screen) << reason;
}

void DesktopEnvironment::TearDown()
{
    g_platform.reset();
    g_app.reset();
    if (!g_runtime.empty())
        std::filesystem::remove_all(g_runtime);
}

platform::Platform& DesktopEnvironment::Platform()
{
    return *g_platform;
}

int Sh(const std::string& command)
{
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string ShOut(const std::string& command)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return out;
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe.get()))
        out += buffer.data();
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

void Pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

bool PumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done())
            return true;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

void Click(QWidget* widget)
{
    const QPoint c = widget->mapToGlobal(widget->rect().center());
    Sh("xdotool mousemove " + std::to_string(c.x()) + " " + std::to_string(c.y()) + " click 1");
    Pump(300);
}

void AnswerMessageBox(std::string* seen, int button, int delayMs)
{
    // Looks again every 50 ms until the box is up: on a loaded machine the
    // key press or click that opens it may arrive after `delayMs`, and a box
    // nobody answers would hold the test until its time-out.
    auto* poll = new QTimer(qApp);
    auto deadline = std::make_shared<QElapsedTimer>();
    deadline->start();
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        poll->setInterval(50);
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *seen = box->windowTitle().toStdString() + "|" + box->text().toStdString();
            poll->deleteLater();
            poll->stop();
            box->button(static_cast<QMessageBox::StandardButton>(button))->click();
        } else if (deadline->elapsed() > delayMs + 10000) {
            poll->deleteLater();
            poll->stop();
        }
    });
    poll->start(delayMs);
}

} // namespace zarvex::test
