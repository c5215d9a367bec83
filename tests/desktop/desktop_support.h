// Shared by the tests that run on the virtual X desktop: one application
// object and the real X11 platform per test process, and helpers to act on
// the desktop as a user would (xdotool's key presses go through XTest).
#pragma once

#include "platform/platform.h"

#include <QApplication>
#include <QWidget>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace zarvex::test {

class DesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
    static platform::Platform& Platform();
};

// Runs a shell command on the test display; its exit status.
int Sh(const std::string& command);
// Its standard output, without the final line break.
std::string ShOut(const std::string& command);

// Lets the event loop run for `ms` milliseconds.
void Pump(int ms);
// Runs the event loop until `done` holds or `ms` pass; whether it held.
bool PumpUntil(const std::function<bool()>& done, int ms);

// A real click (through XTest) in the middle of the widget.
void Click(QWidget* widget);

// Answers the next modal message box with `button` once it is up (after
// `delayMs`), keeping "title|text" of it in *seen.
void AnswerMessageBox(std::string* seen, int button, int delayMs = 300);

} // namespace zarvex::test
