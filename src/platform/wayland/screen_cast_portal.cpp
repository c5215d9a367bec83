#include "platform/wayland/screen_cast_portal.h"

#include "platform/wayland/portal_request.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QTimer>

#include <fcntl.h>

namespace zarvex::platform::wayland {

namespace {

const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
constexpr int kCallTimeoutMs = 5000;
// The user may take a while to answer the desktop's question.
constexpr int kAnswerTimeoutMs = 5 * 60 * 1000;
constexpr uint kSourceMonitor = 1;
constexpr uint kCursorHidden = 1;
constexpr uint kCursorMetadata = 4;
constexpr uint kPersistUntilRevoked = 2;

// Two integers, as the portal sends a stream's position and size.
bool ReadPair(const QVariant& value, int32_t& a, int32_t& b)
{
    if (!value.canConvert<QDBusArgument>())
        return false;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginStructure();
    int first = 0, second = 0;
    argument >> first >> second;
    argument.endStructure();
    a = first;
    b = second;
    return true;
}

} // namespace

// One portal request: its Response, or a time-out, ends it. A child of the
// object that asked, so that an answer after that object is gone goes nowhere.
class PendingRequest : public QObject {
    Q_OBJECT
public:
    PendingRequest(QObject* parent, const QString& path, std::function<void(uint, const QVariantMap&)> next, int timeoutMs)
        : QObject(parent), path_(path), next_(std::move(next))
    {
        QDBusConnection::sessionBus().connect(kPortal, path_, kRequest, QStringLiteral("Response"), this,
                                              SLOT(OnResponse(uint, QVariantMap)));
        QTimer::singleShot(timeoutMs, this, [this] { Finish(2, {}); });
    }

public slots:
    void OnResponse(uint response, const QVariantMap& results) { Finish(response, results); }

private:
    void Finish(uint response, const QVariantMap& results)
    {
        if (!next_)
            return;
        QDBusConnection::sessionBus().disconnect(kPortal, path_, kRequest, QStringLiteral("Response"), this,
                                                 SLOT(OnResponse(uint, QVariantMap)));
        auto next = std::move(next_);
        next_ = nullptr;
        deleteLater();
        next(response, results);
    }

    QString path_;
    std::function<void(uint, const QVariantMap&)> next_;
};

ScreenCastPortal::ScreenCastPortal()
{
    QDBusMessage get = QDBusMessage::createMethodCall(kPortal, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << kScreenCast << QStringLiteral("AvailableSourceTypes");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, kCallTimeoutMs);
    available_ = reply.type() == QDBusMessage::ReplyMessage
        && (reply.arguments().value(0).value<QDBusVariant>().variant().toUInt() & kSourceMonitor) != 0;
    QDBusMessage modes = QDBusMessage::createMethodCall(kPortal, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                        QStringLiteral("Get"));
    modes << kScreenCast << QStringLiteral("AvailableCursorModes");
    const QDBusMessage modesReply = QDBusConnection::sessionBus().call(modes, QDBus::Block, kCallTimeoutMs);
    cursorMetadata_ = (modesReply.arguments().value(0).value<QDBusVariant>().variant().toUInt() & kCursorMetadata) != 0;
}

ScreenCastPortal::~ScreenCastPortal()
{
    // Closing the session ends the streams.
    if (!session_.isEmpty()) {
        QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(kPortal, session_,
                                               QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")),
                                           QDBus::NoBlock);
    }
}

void ScreenCastPortal::Call(const QString& method, QList<QVariant> args, std::function<void(uint, const QVariantMap&)> next)
{
    const QString token = NextPortalToken();
    QVariantMap options = args.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    args.append(options);
    // Listening before the call, so that a quick answer is not missed.
    auto* pending = new PendingRequest(this, PortalRequestPath(token), std::move(next), kAnswerTimeoutMs);
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kScreenCast, method);
    call.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        delete pending;
        Fail("the screen-cast service did not take the " + method.toStdString() + " call: "
             + reply.errorMessage().toStdString());
    }
}

void ScreenCastPortal::Fail(const std::string& error)
{
    if (!done_)
        return;
    auto done = std::move(done_);
    done_ = nullptr;
    done(nullptr, error);
}

void ScreenCastPortal::Start(const std::string& restoreToken, Done done)
{
    done_ = std::move(done);
    if (!available_) {
        Fail("the desktop offers no screen-cast service");
        return;
    }
    QVariantMap create;
    create.insert(QStringLiteral("session_handle_token"), NextPortalToken());
    Call(QStringLiteral("CreateSession"), {create}, [this, restoreToken](uint response, const QVariantMap& results) {
        session_ = results.value(QStringLiteral("session_handle")).toString();
        if (response != 0 || session_.isEmpty())
            return Fail("the screen-cast session could not be opened");
        QVariantMap select;
        select.insert(QStringLiteral("types"), kSourceMonitor);
        select.insert(QStringLiteral("multiple"), true);
        // The pointer's position along with the frames where the desktop
        // offers it: the only way a program learns it on Wayland.
        select.insert(QStringLiteral("cursor_mode"), cursorMetadata_ ? kCursorMetadata : kCursorHidden);
        select.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        if (!restoreToken.empty())
            select.insert(QStringLiteral("restore_token"), QString::fromStdString(restoreToken));
        Call(QStringLiteral("SelectSources"), {QVariant::fromValue(QDBusObjectPath(session_)), select},
             [this](uint selected, const QVariantMap&) {
                 if (selected != 0)
                     return Fail(selected == 1 ? "screen sharing was declined" : "the monitors could not be chosen");
                 Call(QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(session_)), QString(), QVariantMap()},
                      [this](uint started, const QVariantMap& granted) {
                          if (started != 0)
                              return Fail(started == 1 ? "screen sharing was declined" : "screen sharing could not start");
                          OnStarted(granted);
                      });
             });
    });
}

void ScreenCastPortal::OnStarted(const QVariantMap& results)
{
    ScreenCastGrant grant;
    grant.restoreToken = results.value(QStringLiteral("restore_token")).toString().toStdString();
    // streams: a(ua{sv}), each a node id with its position and size
    const QVariant streams = results.value(QStringLiteral("streams"));
    if (streams.canConvert<QDBusArgument>()) {
        const QDBusArgument argument = streams.value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            uint node = 0;
            QVariantMap properties;
            argument.beginStructure();
            argument >> node >> properties;
            argument.endStructure();
            CastStream s;
            s.nodeId = node;
            if (ReadPair(properties.value(QStringLiteral("position")), s.x, s.y)
                && ReadPair(properties.value(QStringLiteral("size")), s.width, s.height))
                grant.streams.push_back(s);
        }
        argument.endArray();
    }
    if (grant.streams.empty())
        return Fail("no monitor was shared");

    QDBusMessage open = QDBusMessage::createMethodCall(kPortal, kPortalPath, kScreenCast, QStringLiteral("OpenPipeWireRemote"));
    open << QVariant::fromValue(QDBusObjectPath(session_)) << QVariantMap();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(open, QDBus::Block, kCallTimeoutMs);
    const auto fd = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
    if (reply.type() != QDBusMessage::ReplyMessage || !fd.isValid())
        return Fail("the screen-cast service gave no PipeWire connection");
    grant.pipeWireFd = ::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 0); // the descriptor object closes its own
    if (grant.pipeWireFd < 0)
        return Fail("the PipeWire connection could not be kept");
    if (done_) {
        auto done = std::move(done_);
        done_ = nullptr;
        done(&grant, {});
    }
}

} // namespace zarvex::platform::wayland

#include "screen_cast_portal.moc"
