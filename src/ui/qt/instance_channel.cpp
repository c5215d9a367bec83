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
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QString::fromLocal8Bit(runtime) + QStringLiteral("/zarvex.sock");
    return QDir::tempPath() + QStringLiteral("/zarvex-%1.sock").arg(::getuid());
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
