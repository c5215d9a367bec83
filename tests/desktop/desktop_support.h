// Shared by the tests that run on the virtual X desktop: one application
// object and the real X11 platform per test process (set up before the cases
// run), and helpers to act on the desktop as a user would
// (xdotool's key presses and clicks go through XTest).
#pragma once

#include "config/ini_file.h"
#include "platform/platform.h"
#include "support/temp_folder.h"
#include "ui/qt/main_window.h"

#include <QApplication>
#include <QWidget>
#include <qtestsupport_core.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace zarvex::test {

// Runs a shell command on the test display; its exit status, or its
// standard output without the final line break.
int Sh(const std::string& command);
std::string ShOut(const std::string& command);

// A real click in the middle of the widget.
void Click(QWidget* widget);

// Answers the next modal message box with `button`, keeping "title|text|
// button text" in *seen. It looks after `delayMs`, then every 50 ms while
// `triesLeft` lasts: on a loaded machine the box may come late, and one
// nobody answers would hold the test until its time-out.
void AnswerMessageBox(std::string* seen, int button, int delayMs = 300, int triesLeft = 200);

// A case with its own settings folder, where ALSA's default device appends
// all that is played to capture_ instead of a real sound card.
class DesktopCase : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes `con` as config.ini's [con] section (keys left out take their
    // defaults) and opens the main window over the desktop's screen, hot keys,
    // windows and sound (whatever else `services` holds stays), shown and mapped.
    std::unique_ptr<monitor::Form1> Open(const std::string& con, monitor::Form1Services services = {});
    std::string Ini(const char* key) const
    {
        return config::ReadIniValue(folder_ / "config.ini", "con", key);
    }

    TempFolder temp_{"desktop"};
    const std::filesystem::path folder_ = temp_.Path(), capture_ = folder_ / "sound.raw";
};

// Marks the spot (x, y) with Ctrl+W as a user would; the window then has `points` points.
void MarkPoint(monitor::Form1& w, int x, int y, int points = 1);

} // namespace zarvex::test
