// One Zarvex per user and desktop session: the running one listens on a
// local socket in the user's runtime folder; a second start tells it what to
// do and exits.
//   "mark"      add a point (where the pointer is, or where the user clicks)
//   "raise"     bring the window forward
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace zarvex::monitor {

// $XDG_RUNTIME_DIR/zarvex-<display>.sock, or a per-user name in the temporary folder.
QString InstanceSocketPath();

// Hands `command` to the running instance; false when none answers.
bool SendToRunningInstance(const QString& command);

class InstanceChannel : public QObject {
public:
    explicit InstanceChannel(std::function<void(const QString& command)> received, QObject* parent = nullptr);
    // Listens; false (and the reason in `error`) when the socket cannot be made.
    bool Listen(QString& error);

private:
    std::function<void(const QString&)> received_;
    QLocalServer* server_ = nullptr;
};

} // namespace zarvex::monitor
