// A global-shortcuts backend for the desktop portal, standing in for a
// desktop's own in the tests: it binds every shortcut asked for as it is,
// except one called "declined", tells what it bound (Bound), and reports a press of a shortcut when told
// to (Press), as a desktop does when the user presses the key.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QStringList>

struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(PortalShortcut)

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& s)
{
    argument.beginStructure();
    argument << s.id << s.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& s)
{
    argument.beginStructure();
    argument >> s.id >> s.properties;
    argument.endStructure();
    return argument;
}

class Shortcuts : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    explicit Shortcuts(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    uint version() const { return 1; }
    QString session;
    QStringList bound;

public slots:
    uint CreateSession(const QDBusObjectPath&, const QDBusObjectPath& sessionHandle, const QString&, const QVariantMap&,
                       QVariantMap& results)
    {
        session = sessionHandle.path();
        bound.clear();
        results.insert(QStringLiteral("session_handle"), session);
        return 0;
    }

    uint BindShortcuts(const QDBusObjectPath&, const QDBusObjectPath&, const QList<PortalShortcut>& shortcuts, const QString&,
                       const QVariantMap&, QVariantMap& results)
    {
        for (const PortalShortcut& s : shortcuts) {
            if (s.id == QStringLiteral("declined"))
                return 1; // as when the user says no
            bound << s.id + QLatin1Char('=') + s.properties.value(QStringLiteral("preferred_trigger")).toString();
        }
        results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts));
        return 0;
    }

    uint ListShortcuts(const QDBusObjectPath&, const QDBusObjectPath&, QVariantMap& results)
    {
        results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(QList<PortalShortcut>()));
        return 0;
    }

signals:
    void Activated(const QDBusObjectPath& sessionHandle, const QString& shortcutId, qulonglong timestamp,
                   const QVariantMap& options);
    void Deactivated(const QDBusObjectPath& sessionHandle, const QString& shortcutId, qulonglong timestamp,
                     const QVariantMap& options);
};

class Control : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zarvex.TestPortal")

public:
    Control(QObject* parent, Shortcuts& shortcuts) : QDBusAbstractAdaptor(parent), shortcuts_(shortcuts) {}

public slots:
    QString Bound() const { return shortcuts_.bound.join(QLatin1Char(';')); }
    void Press(const QString& id)
    {
        emit shortcuts_.Activated(QDBusObjectPath(shortcuts_.session), id, 0, {});
        emit shortcuts_.Deactivated(QDBusObjectPath(shortcuts_.session), id, 0, {});
    }

private:
    Shortcuts& shortcuts_;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    QObject root;
    auto* shortcuts = new Shortcuts(&root);
    new Control(&root, *shortcuts);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &root)
        || !bus.registerService(QStringLiteral("org.freedesktop.impl.portal.desktop.zarvextest")))
        return 1;
    return app.exec();
}

#include "test_shortcuts_portal.moc"
