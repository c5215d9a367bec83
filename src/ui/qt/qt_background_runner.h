// BackgroundRunner on Qt: the work runs on a thread of its own, the outcome
// comes back through the window thread's event queue.
#pragma once

#include "notify/background_runner.h"

#include <memory>
#include <mutex>

class QObject;

namespace zarvex::monitor {

class QtBackgroundRunner final : public notify::BackgroundRunner {
public:
    QtBackgroundRunner(); // on the window thread
    // Drops every outcome and timer still to come, at once: a request under
    // way (15 s at most) is not waited for; its thread ends on its own.
    ~QtBackgroundRunner() override;
    QtBackgroundRunner(const QtBackgroundRunner&) = delete;
    QtBackgroundRunner& operator=(const QtBackgroundRunner&) = delete;

    void Run(std::function<Delivery()> work) override;
    void After(int milliseconds, std::function<void()> then) override;

private:
    // Shared with the work threads, which outlive the runner: an outcome is
    // posted to `receiver` only while it is there, under the lock that the
    // destructor takes to clear it.
    struct Mailbox {
        std::mutex mutex;
        QObject* receiver = nullptr;
    };
    std::unique_ptr<QObject> receiver_;
    std::shared_ptr<Mailbox> mailbox_;
};

} // namespace zarvex::monitor
