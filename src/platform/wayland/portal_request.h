// What every call to the desktop portal shares: its names, and the request
// tokens and object paths through which its answers arrive.
#pragma once

#include <QDBusConnection>
#include <QString>

namespace zarvex::platform::wayland {

inline const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

// Request and session tokens unique in the process: two objects asking at
// once must not name the same request or session.
inline QString NextPortalToken()
{
    static int count = 0;
    return QStringLiteral("zarvex%1").arg(++count);
}

// The object path the portal gives a request made with `token`, known before
// the call so that its Response cannot be missed.
inline QString PortalRequestPath(const QString& token)
{
    QString sender = QDBusConnection::sessionBus().baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

} // namespace zarvex::platform::wayland
