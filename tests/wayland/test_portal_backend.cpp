// A desktop portal backend standing in for a desktop's own in the tests.
// Global shortcuts: it binds every shortcut asked for as it is, except one
// called "declined", tells what it bound (Bound), and reports a press of a
// shortcut when told to (Press), as a desktop does when the user presses the
// key. Screen casts: it shares the PipeWire nodes named on its command line
// as monitors, lets the portal keep the grant, and tells what the last
// choice of sources brought along (LastSelect). The test's methods are on
// the portal's own interfaces, where the portal does not look.
//   test_portal_backend [NODE:X,Y,WIDTH,HEIGHT ...]
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QRegularExpression>
#include <QStringList>

// An entry of a shortcut list a(sa{sv}) and of a screen cast's stream list
// a(ua{sv}): two types, as D-Bus tells their lists apart by type name.
struct PortalShortcut {
    QString key;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(PortalShortcut)
struct CastStreamEntry {
    uint key = 0;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(CastStreamEntry)

template <typename Entry>
    requires requires(Entry e) { e.key, e.properties; }
QDBusArgument& operator<<(QDBusArgument& argument, const Entry& e)
{
    argument.beginStructure();
    argument << e.key << e.properties;
    argument.endStructure();
    return argument;
}

template <typename Entry>
    requires requires(Entry e) { e.key, e.properties; }
const QDBusArgument& operator>>(const QDBusArgument& argument, Entry& e)
{
    argument.beginStructure();
    argument >> e.key >> e.properties;
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
            if (s.key == QStringLiteral("declined"))
                return 1; // as when the user says no
            bound << s.key + QLatin1Char('=') + s.properties.value(QStringLiteral("preferred_trigger")).toString();
        }
        results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts));
        return 0;
    }

    // For the test: what was bound, and a press of a shortcut.
    QString Bound() const { return bound.join(QLatin1Char(';')); }
    void Press(const QString& id)
    {
        emit Activated(QDBusObjectPath(session), id, 0, {});
        emit Deactivated(QDBusObjectPath(session), id, 0, {});
    }

signals:
    void Activated(const QDBusObjectPath& sessionHandle, const QString& shortcutId, qulonglong timestamp,
                   const QVariantMap& options);
    void Deactivated(const QDBusObjectPath& sessionHandle, const QString& shortcutId, qulonglong timestamp,
                     const QVariantMap& options);
};

QVariant Pair(int a, int b)
{
    QDBusArgument pair;
    pair.beginStructure();
    pair << a << b;
    pair.endStructure();
    return QVariant::fromValue(pair);
}

class ScreenCast : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.ScreenCast")
    Q_PROPERTY(uint AvailableSourceTypes READ sourceTypes)
    Q_PROPERTY(uint AvailableCursorModes READ cursorModes)
    Q_PROPERTY(uint version READ version)

public:
    ScreenCast(QObject* parent, QList<QList<int>> monitors) : QDBusAbstractAdaptor(parent), monitors_(std::move(monitors)) {}
    uint sourceTypes() const { return 1; } // monitors
    uint cursorModes() const { return 1 | 4; } // hidden, metadata
    uint version() const { return 4; }
    QString lastSelect;

public slots:
    uint CreateSession(const QDBusObjectPath&, const QDBusObjectPath&, const QString&, const QVariantMap&, QVariantMap&)
    {
        return 0;
    }

    QString LastSelect() const { return lastSelect; } // for the test

    uint SelectSources(const QDBusObjectPath&, const QDBusObjectPath&, const QString&, const QVariantMap& options,
                       QVariantMap&)
    {
        QString restored;
        const QVariant data = options.value(QStringLiteral("restore_data"));
        if (data.canConvert<QDBusArgument>()) {
            const QDBusArgument argument = data.value<QDBusArgument>();
            QString vendor;
            uint version = 0;
            QDBusVariant payload;
            argument.beginStructure();
            argument >> vendor >> version >> payload;
            argument.endStructure();
            restored = payload.variant().toString();
        }
        lastSelect = QStringLiteral("types=%1 multiple=%2 cursor=%3 persist=%4 restored=%5")
                         .arg(options.value(QStringLiteral("types")).toUInt())
                         .arg(options.value(QStringLiteral("multiple")).toBool())
                         .arg(options.value(QStringLiteral("cursor_mode")).toUInt())
                         .arg(options.value(QStringLiteral("persist_mode")).toUInt())
                         .arg(restored);
        return 0;
    }

    uint Start(const QDBusObjectPath&, const QDBusObjectPath&, const QString&, const QString&, const QVariantMap&,
               QVariantMap& results)
    {
        QList<CastStreamEntry> list;
        for (const QList<int>& m : monitors_) { // node, x, y, width, height
            CastStreamEntry e;
            e.key = static_cast<uint>(m[0]);
            e.properties.insert(QStringLiteral("position"), Pair(m[1], m[2]));
            e.properties.insert(QStringLiteral("size"), Pair(m[3], m[4]));
            e.properties.insert(QStringLiteral("source_type"), 1u);
            list.append(e);
        }
        results.insert(QStringLiteral("streams"), QVariant::fromValue(list));
        results.insert(QStringLiteral("persist_mode"), 2u);
        QDBusArgument data;
        data.beginStructure();
        data << QStringLiteral("zarvextest") << 1u << QDBusVariant(QStringLiteral("all monitors"));
        data.endStructure();
        results.insert(QStringLiteral("restore_data"), QVariant::fromValue(data));
        return 0;
    }

private:
    QList<QList<int>> monitors_;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    qDBusRegisterMetaType<CastStreamEntry>();
    qDBusRegisterMetaType<QList<CastStreamEntry>>();
    QList<QList<int>> monitors;
    for (const QString& spec : app.arguments().mid(1)) {
        monitors.emplaceBack();
        for (const QString& part : spec.split(QRegularExpression(QStringLiteral("[:,]"))))
            monitors.last().append(part.toInt());
    }
    QObject root;
    new Shortcuts(&root);
    new ScreenCast(&root, monitors);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &root)
        || !bus.registerService(QStringLiteral("org.freedesktop.impl.portal.desktop.zarvextest")))
        return 1;
    return app.exec();
}

#include "test_portal_backend.moc"
