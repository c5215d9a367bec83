#include "platform/wayland/portal_hot_keys.h"

#include "platform/wayland/portal_request.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace zarvex::platform::wayland {

namespace {

const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
constexpr int kTimeoutMs = 5000;

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

} // namespace
} // namespace zarvex::platform::wayland

Q_DECLARE_METATYPE(zarvex::platform::wayland::PortalShortcut)

namespace zarvex::platform::wayland {

namespace {

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

} // namespace

// Waits for one request's Response signal.
class ResponseWaiter : public QObject {
    Q_OBJECT
public:
    uint response = 2;
    QVariantMap results;
    bool answered = false;
    QEventLoop loop;

public slots:
    void OnResponse(uint r, const QVariantMap& res)
    {
        response = r;
        results = res;
        answered = true;
        loop.quit();
    }
};

PortalHotKeys::PortalHotKeys(std::map<int32_t, Shortcut> names) : names_(std::move(names))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage get = QDBusMessage::createMethodCall(kPortal, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << kShortcuts << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, kTimeoutMs);
    available_ = reply.type() == QDBusMessage::ReplyMessage;
    if (available_) {
        bus.connect(kPortal, kPortalPath, kShortcuts, QStringLiteral("Activated"), this, SLOT(OnActivated(QDBusMessage)));
    }
}

PortalHotKeys::~PortalHotKeys()
{
    CloseSession();
}

std::string PortalHotKeys::TriggerFor(int32_t modifiers, int32_t virtualKey)
{
    std::string key;
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        key = std::string(1, static_cast<char>(virtualKey - 'A' + 'a'));
    else if (virtualKey >= '0' && virtualKey <= '9')
        key = std::string(1, static_cast<char>(virtualKey));
    else if (virtualKey >= 0x70 && virtualKey <= 0x7B) // VK_F1 .. VK_F12
        key = "F" + std::to_string(virtualKey - 0x70 + 1);
    if (key.empty())
        return key;
    std::string trigger;
    if (modifiers & kModControl)
        trigger += "CTRL+";
    if (modifiers & kModAlt)
        trigger += "ALT+";
    if (modifiers & kModShift)
        trigger += "SHIFT+";
    return trigger + key;
}

QString PortalHotKeys::ShortcutId(int32_t id) const
{
    const auto it = names_.find(id);
    return QString::fromStdString(it != names_.end() ? it->second.id : "hotkey-" + std::to_string(id));
}

bool PortalHotKeys::Request(const QString& method, QList<QVariant> args, uint& response, QVariantMap& results)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = NextPortalToken();
    QVariantMap options = args.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    args.append(options);
    ResponseWaiter waiter;
    const QString path = PortalRequestPath(token);
    bus.connect(kPortal, path, kRequest, QStringLiteral("Response"), &waiter, SLOT(OnResponse(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kShortcuts, method);
    call.setArguments(args);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !waiter.answered) {
        QTimer::singleShot(kTimeoutMs, &waiter.loop, &QEventLoop::quit);
        waiter.loop.exec();
    }
    bus.disconnect(kPortal, path, kRequest, QStringLiteral("Response"), &waiter, SLOT(OnResponse(uint, QVariantMap)));
    response = waiter.response;
    results = waiter.results;
    return waiter.answered;
}

void PortalHotKeys::CloseSession()
{
    if (session_.isEmpty())
        return;
    QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(kPortal, session_, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")),
        QDBus::NoBlock);
    session_.clear();
    bindRequest_.clear();
}

bool PortalHotKeys::Bind()
{
    // A session binds its shortcuts once: every change starts a new one.
    CloseSession();
    if (bindings_.empty())
        return true;
    uint response = 2;
    QVariantMap results;
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"), NextPortalToken());
    if (!Request(QStringLiteral("CreateSession"), {options}, response, results) || response != 0)
        return false;
    session_ = results.value(QStringLiteral("session_handle")).toString();
    if (session_.isEmpty())
        return false;

    QList<PortalShortcut> shortcuts;
    for (const auto& [id, binding] : bindings_) {
        PortalShortcut s;
        s.id = ShortcutId(id);
        const auto name = names_.find(id);
        s.properties.insert(QStringLiteral("description"),
                            QString::fromStdString(name != names_.end() ? name->second.description : s.id.toStdString()));
        const std::string trigger = TriggerFor(binding.modifiers, binding.virtualKey);
        if (!trigger.empty())
            s.properties.insert(QStringLiteral("preferred_trigger"), QString::fromStdString(trigger));
        shortcuts.append(s);
    }
    // The desktop may ask the user first: the answer is awaited in the event loop.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = NextPortalToken();
    bindRequest_ = PortalRequestPath(token);
    bus.connect(kPortal, bindRequest_, kRequest, QStringLiteral("Response"), this, SLOT(OnBindResponse(uint, QVariantMap)));
    QVariantMap bindOptions;
    bindOptions.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kShortcuts, QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(session_)) << QVariant::fromValue(shortcuts) << QString() << bindOptions;
    return bus.call(call, QDBus::Block, kTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

bool PortalHotKeys::Register(int32_t id, int32_t modifiers, int32_t virtualKey)
{
    if (!available_)
        return false;
    bindings_[id] = {modifiers, virtualKey};
    if (!Bind()) {
        bindings_.erase(id);
        Bind();
        return false;
    }
    return true;
}

bool PortalHotKeys::Unregister(int32_t id)
{
    if (bindings_.erase(id) == 0)
        return false;
    Bind();
    return true;
}

void PortalHotKeys::OnBindResponse(uint response, const QVariantMap& results)
{
    QDBusConnection::sessionBus().disconnect(kPortal, bindRequest_, kRequest, QStringLiteral("Response"), this,
                                             SLOT(OnBindResponse(uint, QVariantMap)));
    std::string reason;
    if (response != 0) {
        reason = response == 1 ? "the global shortcut was declined" : "the desktop could not bind the global shortcut";
    } else {
        QList<PortalShortcut> bound;
        const QVariant list = results.value(QStringLiteral("shortcuts"));
        if (list.canConvert<QDBusArgument>())
            list.value<QDBusArgument>() >> bound;
        for (const auto& [id, binding] : bindings_) {
            const QString wanted = ShortcutId(id);
            if (std::none_of(bound.begin(), bound.end(), [&](const PortalShortcut& s) { return s.id == wanted; }))
                reason = "the desktop did not bind the global shortcut " + wanted.toStdString();
        }
    }
    if (!reason.empty() && !refusalTold_ && onRefused) {
        refusalTold_ = true;
        onRefused(reason);
    }
}

void PortalHotKeys::OnActivated(const QDBusMessage& message)
{
    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options)
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || args[0].value<QDBusObjectPath>().path() != session_ || !handler_)
        return;
    const QString shortcutId = args[1].toString();
    for (const auto& [id, binding] : bindings_) {
        if (ShortcutId(id) == shortcutId) {
            handler_(id);
            return;
        }
    }
}

} // namespace zarvex::platform::wayland

#include "portal_hot_keys.moc"
