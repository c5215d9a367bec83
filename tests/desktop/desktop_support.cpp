#include "desktop/desktop_support.h"
#include "support/test_helpers.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>

#include <alsa/asoundlib.h>

#include <fstream>

namespace zarvex::test {

namespace {

std::unique_ptr<platform::Platform> g_platform;

// One application object and the X11 platform for all cases of the process.
class DesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // The virtual desktop started for the tests names its display in a
        // file; every command the tests run inherits it.
        if (const char* session = std::getenv("ZARVEX_XSESSION")) {
            const std::string display = Slurp(std::filesystem::path(session) / "display");
            ASSERT_FALSE(display.empty()) << "no virtual desktop (the xsession_start test starts one)";
            ::setenv("DISPLAY", display.c_str(), 1);
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
        app_ = std::make_unique<QApplication>(argc_, argv_);
        monitor::InstallChineseTranslations();
        std::string reason;
        g_platform = std::make_unique<platform::Platform>(platform::CreatePlatform(reason));
        ASSERT_TRUE(g_platform->screen) << reason;
    }
    void TearDown() override
    {
        g_platform.reset();
        app_.reset();
    }

private:
    int argc_ = 1;
    char arg0_[14] = "desktop_tests";
    char* argv_[2] = {arg0_, nullptr};
    std::unique_ptr<QApplication> app_;
};

// gtest_main runs the cases; this is in place before it starts.
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

} // namespace

int Sh(const std::string& command)
{
    return QProcess::execute("sh", {"-c", QString::fromStdString(command)});
}

std::string ShOut(const std::string& command)
{
    QProcess sh;
    sh.start("sh", {"-c", QString::fromStdString(command)});
    sh.waitForFinished();
    return sh.readAllStandardOutput().trimmed().toStdString();
}

void Click(QWidget* widget)
{
    const QPoint c = widget->mapToGlobal(widget->rect().center());
    Sh("xdotool mousemove " + std::to_string(c.x()) + " " + std::to_string(c.y()) + " click 1");
    QTest::qWait(300);
}

void AnswerMessageBox(std::string* seen, int button, int delayMs, int triesLeft)
{
    QTimer::singleShot(delayMs, qApp, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box) {
            QAbstractButton* answer = box->button(static_cast<QMessageBox::StandardButton>(button));
            *seen = (box->windowTitle() + "|" + box->text() + "|" + answer->text()).toStdString();
            answer->click();
        } else if (triesLeft > 0) {
            AnswerMessageBox(seen, button, 50, triesLeft - 1);
        }
    });
}

void DesktopCase::SetUp()
{
    std::ofstream(capture_).close();
    std::ofstream(folder_ / "asound.conf") << "pcm.!default { type file slave { pcm { type null } }"
                                           << " file \"|cat >>" << capture_.string() << "\" format \"raw\" }\n";
    ::setenv("ALSA_CONFIG_PATH", (folder_ / "asound.conf").c_str(), 1);
    snd_config_update_free_global(); // read afresh
}

void DesktopCase::TearDown()
{
    ::unsetenv("ALSA_CONFIG_PATH");
    snd_config_update_free_global();
}

std::unique_ptr<monitor::Form1> DesktopCase::Open(const std::string& con, monitor::Form1Services services)
{
    std::ofstream(folder_ / "config.ini") << "[con]\n" << con;
    services.screen = g_platform->screen.get();
    services.hotKeys = g_platform->hotKeys.get();
    services.windows = g_platform->windows.get();
    services.sound = g_platform->sound.get();
    auto w = std::make_unique<monitor::Form1>(services, folder_);
    w->show();
    Sh("xdotool search --sync --onlyvisible --name Zarvex >/dev/null");
    QTest::qWait(300);
    return w;
}

void MarkPoint(monitor::Form1& w, int x, int y, int points)
{
    Sh("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
    QTest::qWait(300); // cursor tracking takes the spot
    ASSERT_EQ(Sh("xdotool key ctrl+w"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Points().Count() == points; }, 3000));
}

} // namespace zarvex::test
