#include "ui/qt/qt_background_runner.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <system_error>
#include <thread>

namespace zarvex::monitor {

QtBackgroundRunner::QtBackgroundRunner() : receiver_(std::make_unique<QObject>()), mailbox_(std::make_shared<Mailbox>())
{
    mailbox_->receiver = receiver_.get();
}

QtBackgroundRunner::~QtBackgroundRunner()
{
    {
        std::lock_guard lock(mailbox_->mutex);
        mailbox_->receiver = nullptr;
    }
    // Deleting the receiver discards what was posted to it and its timers.
    receiver_.reset();
}

void QtBackgroundRunner::Run(std::function<Delivery()> work)
{
    auto task = [mailbox = mailbox_, work = std::move(work)] {
        Delivery delivery = work();
        std::lock_guard lock(mailbox->mutex);
        if (mailbox->receiver)
            QMetaObject::invokeMethod(mailbox->receiver, std::move(delivery), Qt::QueuedConnection);
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

void QtBackgroundRunner::After(int milliseconds, std::function<void()> then)
{
    QTimer::singleShot(milliseconds, receiver_.get(), std::move(then));
}

} // namespace zarvex::monitor
