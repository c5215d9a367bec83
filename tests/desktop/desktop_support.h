// Shared by the tests that run on the virtual X desktop: one application
// object and the real X11 platform per test process (set up by the main() of
// this library), and helpers to act on the desktop as a user would
// (xdotool's key presses and clicks go through XTest).
#pragma once

#include "platform/platform.h"
#include "ui/qt/main_window.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace zarvex::test {

platform::Platform& DesktopPlatform();

// Runs a shell command on the test display; its exit status.
int Sh(const std::string& command);
// Its standard output, without the final line break.
std::string ShOut(const std::string& command);

// Runs the event loop until `done` holds or `ms` pass; whether it held.
bool PumpUntil(const std::function<bool()>& done, int ms);
// Lets the event loop run for `ms` milliseconds.
inline void Pump(int ms)
{
    PumpUntil([] { return false; }, ms);
}

// A real click in the middle of the widget.
void Click(QWidget* widget);

// Answers the next modal message box with `button` once it is up (after
// `delayMs`), keeping "title|text" of it in *seen.
void AnswerMessageBox(std::string* seen, int button, int delayMs = 300);

// The main window over the desktop's screen, hot keys and windows (whatever
// else `services` holds stays), its settings in `folder`, shown and mapped.
std::unique_ptr<monitor::Form1> OpenMainWindow(const std::filesystem::path& folder, monitor::Form1Services services = {});

// Marks the spot (x, y) with Ctrl+W as a user would; the window then has `points` points.
void MarkPoint(monitor::Form1& w, int x, int y, int points = 1);

} // namespace zarvex::test
