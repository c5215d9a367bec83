// The desktop portal's screen-cast service (org.freedesktop.portal.ScreenCast):
// asks for every monitor as a PipeWire stream, keeping the session open for
// as long as this object lives. The desktop may ask the user which monitors
// to share; with the restore token of an earlier grant it does not ask again
// (GNOME 42+, KDE Plasma; wlroots' portal only when set up to persist).
// Where the desktop offers it, the pointer's position is asked for along with
// the frames (cursor metadata: GNOME, KDE Plasma). Answers arrive through
// Qt's event loop.
#pragma once

#include "platform/wayland/pipewire_screen.h"

#include <QObject>
#include <QVariantMap>

#include <functional>
#include <string>
#include <vector>

namespace zarvex::platform::wayland {

struct ScreenCastGrant {
    std::vector<CastStream> streams; // each monitor's node and logical rectangle
    int pipeWireFd = -1;             // the PipeWire connection to read them on; the receiver owns it
    std::string restoreToken;        // for the next Start, so that the desktop does not ask again
};

class ScreenCastPortal final : public QObject {
    Q_OBJECT

public:
    using Done = std::function<void(ScreenCastGrant* grant, const std::string& error)>;

    // Uses the session bus; check Available().
    ScreenCastPortal();
    ~ScreenCastPortal() override;

    // The portal on the session bus offers screen casts.
    bool Available() const { return available_; }

    // Asks for the monitors; `done` is called once, with the grant, or with
    // null and what went wrong (refused by the user, no monitor shared, ...).
    void Start(const std::string& restoreToken, Done done);

private:
    void Call(const QString& method, QList<QVariant> args, std::function<void(uint, const QVariantMap&)> next);
    void Fail(const std::string& error);
    void OnStarted(const QVariantMap& results);

    bool available_ = false;
    bool cursorMetadata_ = false; // the desktop can send the pointer's position with the frames
    QString session_;
    Done done_;
};

} // namespace zarvex::platform::wayland
