// BackgroundRunner on Win32: the work runs on a thread of its own, its outcome
// comes back through a message to a window of the window thread; delays are
// that window's timers.
#pragma once

#include "notify/background_runner.h"

#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace zarvex::ui::win32 {

class Win32BackgroundRunner final : public notify::BackgroundRunner {
public:
    Win32BackgroundRunner(); // on the window thread
    // Drops every outcome and timer still to come, at once: a request under
    // way (15 s at most) is not waited for; its thread ends on its own.
    ~Win32BackgroundRunner() override;
    Win32BackgroundRunner(const Win32BackgroundRunner&) = delete;
    Win32BackgroundRunner& operator=(const Win32BackgroundRunner&) = delete;

    void Run(std::function<Delivery()> work) override;
    void After(int milliseconds, std::function<void()> then) override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Shared with the work threads, which outlive the runner: an outcome is
    // queued and announced only while the window is there, under the lock
    // that the destructor takes to clear it.
    struct Mailbox {
        std::mutex mutex;
        HWND window = nullptr;
        std::deque<Delivery> deliveries;
    };
    std::shared_ptr<Mailbox> mailbox_;
    HWND window_ = nullptr;
    std::map<UINT_PTR, std::function<void()>> timers_;
    UINT_PTR nextTimer_ = 1;
};

} // namespace zarvex::ui::win32
