#include "ui/win32/win32_background_runner.h"

#include <system_error>
#include <thread>
#include <utility>

namespace zarvex::ui::win32 {

namespace {

constexpr UINT kDeliveriesWaiting = WM_APP + 1;

} // namespace

Win32BackgroundRunner::Win32BackgroundRunner() : mailbox_(std::make_shared<Mailbox>())
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZarvexBackgroundRunner";
    RegisterClassExW(&wc); // fails harmlessly when already registered
    window_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
    mailbox_->window = window_;
}

Win32BackgroundRunner::~Win32BackgroundRunner()
{
    {
        std::lock_guard lock(mailbox_->mutex);
        mailbox_->window = nullptr;
        mailbox_->deliveries.clear();
    }
    // Destroying the window discards its timers and what was posted to it.
    if (window_)
        DestroyWindow(window_);
}

void Win32BackgroundRunner::Run(std::function<Delivery()> work)
{
    auto task = [mailbox = mailbox_, work = std::move(work)] {
        Delivery delivery = work();
        std::lock_guard lock(mailbox->mutex);
        if (mailbox->window) {
            mailbox->deliveries.push_back(std::move(delivery));
            PostMessageW(mailbox->window, kDeliveriesWaiting, 0, 0);
        }
    };
    try {
        // Detached: closing the program must not wait for a silent service.
        // The thread touches only the mailbox and what `work` owns.
        std::thread(task).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the work runs here rather than not at all.
        task();
    }
}

void Win32BackgroundRunner::After(int milliseconds, std::function<void()> then)
{
    const UINT_PTR id = nextTimer_++;
    timers_[id] = std::move(then);
    SetTimer(window_, id, static_cast<UINT>(milliseconds > 0 ? milliseconds : 0), nullptr);
}

LRESULT CALLBACK Win32BackgroundRunner::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<Win32BackgroundRunner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == kDeliveriesWaiting) {
        // One at a time, and never through `self` after the first: a delivery
        // may open a modal loop (a message box) in which the window, and this
        // runner with it, goes away; then what is still waiting is dropped.
        const std::shared_ptr<Mailbox> mailbox = self->mailbox_;
        for (;;) {
            Delivery delivery;
            {
                std::lock_guard lock(mailbox->mutex);
                if (!mailbox->window || mailbox->deliveries.empty())
                    break;
                delivery = std::move(mailbox->deliveries.front());
                mailbox->deliveries.pop_front();
            }
            if (delivery)
                delivery();
        }
        return 0;
    }
    if (self && message == WM_TIMER) {
        KillTimer(window, wParam);
        const auto it = self->timers_.find(wParam);
        if (it != self->timers_.end()) {
            std::function<void()> then = std::move(it->second);
            self->timers_.erase(it);
            then();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace zarvex::ui::win32
