// Global hot keys through the desktop portal's global-shortcuts service
// (org.freedesktop.portal.GlobalShortcuts: KDE Plasma 5.27+, GNOME 48+,
// Hyprland). A program there does not grab keys itself: it names its
// shortcuts with a preferred key, the desktop binds them (asking the user
// where it wants to) and reports each press as an Activated signal, which
// arrives through Qt's event loop on the main thread.
//
// Register answers at once: true when the portal offers the service and a
// session was opened, so the shortcut has been asked for. The desktop's
// answer comes later; a refusal is told through onRefused, once.
#pragma once

#include "platform/hot_keys.h"

#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

#include <map>
#include <string>

namespace zarvex::platform::wayland {

class PortalHotKeys final : public QObject, public HotKeys {
    Q_OBJECT

public:
    struct Shortcut {
        std::string id;          // the portal's shortcut id, e.g. "mark-point"
        std::string description; // what the desktop shows the user
    };

    // `names` gives the portal shortcut for each hot-key id; an id not in it
    // is called "hotkey-<id>". Uses the session bus; check Available().
    explicit PortalHotKeys(std::map<int32_t, Shortcut> names = {});
    ~PortalHotKeys() override;

    // The portal on the session bus offers global shortcuts.
    bool Available() const { return available_; }

    bool Register(int32_t id, int32_t modifiers, int32_t virtualKey) override;
    bool Unregister(int32_t id) override;
    Handler CurrentHandler() const override { return handler_; }
    void SetHandler(Handler handler) override { handler_ = std::move(handler); }

    // Told once when the desktop does not bind the shortcuts asked for.
    std::function<void(const std::string& reason)> onRefused;

    // The portal's preferred-trigger text for a RegisterHotKey combination
    // ("CTRL+w"); empty for a key it has no name for here.
    static std::string TriggerFor(int32_t modifiers, int32_t virtualKey);

    // Slots for QtDBus, which connects signals only to public ones.
public slots:
    void OnBindResponse(uint response, const QVariantMap& results);
    void OnActivated(const QDBusMessage& message);

private:
    struct Binding {
        int32_t modifiers = 0, virtualKey = 0;
    };
    QString ShortcutId(int32_t id) const;
    // Calls `method` with `args` (the last one the options, which gets the
    // handle token) and waits for the request's Response; false after a time-out.
    bool Request(const QString& method, QList<QVariant> args, uint& response, QVariantMap& results);
    void CloseSession();
    bool Bind();

    std::map<int32_t, Shortcut> names_;
    std::map<int32_t, Binding> bindings_;
    Handler handler_;
    bool available_ = false;
    bool refusalTold_ = false;
    QString session_;
    QString bindRequest_;
};

} // namespace zarvex::platform::wayland
