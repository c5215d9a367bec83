#include "ui/qt/instance_channel.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace zarvex::monitor {

namespace {
constexpr int kWaitMs = 2000;
}

QString InstanceSocketPath()
{
    // One per user and desktop session: the display's name is part of it, so
    // that copies on two displays (a nested or virtual one) do not meet.
    // A Wayland display is named by its socket, in the runtime folder unless
    // the name is a full path: "wayland-1" and its full path are one display.
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    QString display = QString::fromLocal8Bit(qgetenv("WAYLAND_DISPLAY"));
    if (!display.isEmpty() && !display.startsWith(QLatin1Char('/')))
        display = runtime + QLatin1Char('/') + display;
    if (display.isEmpty())
        display = QString::fromLocal8Bit(qgetenv("DISPLAY"));
    for (QChar& c : display) {
        if (!c.isLetterOrNumber())
            c = QLatin1Char('_');
    }
    if (display.size() > 32) // a full socket path; a socket's own path is short
        display = QString::number(qHash(display), 16);
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/zarvex-%1.sock").arg(display);
    return QDir::tempPath() + QStringLiteral("/zarvex-%1-%2.sock").arg(::getuid()).arg(display);
}

bool SendToRunningInstance(const QString& command)
{
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketPath());
    if (!socket.waitForConnected(kWaitMs))
        return false;
    socket.write((command + QLatin1Char('\n')).toUtf8());
    if (!socket.waitForBytesWritten(kWaitMs))
        return false;
    // The instance closes the connection once it has taken the command.
    socket.waitForDisconnected(kWaitMs);
    return true;
}

InstanceChannel::InstanceChannel(std::function<void(const QString&)> received, QObject* parent)
    : QObject(parent), received_(std::move(received)), server_(new QLocalServer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    const QString command = QString::fromUtf8(socket->readLine()).trimmed();
                    socket->disconnectFromServer();
                    received_(command);
                    return;
                }
            });
        }
    });
}

bool InstanceChannel::Listen(QString& error)
{
    const QString path = InstanceSocketPath();
    // Called only when no instance answered: a socket file left there belongs
    // to one that has ended.
    QLocalServer::removeServer(path);
    if (server_->listen(path))
        return true;
    error = server_->errorString();
    return false;
}

} // namespace zarvex::monitor
