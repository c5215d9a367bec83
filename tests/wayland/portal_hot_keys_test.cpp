// Global hot keys through the real desktop portal (xdg-desktop-portal) with a
// test backend standing in for the desktop, on a private session bus (the
// test runs under dbus-run-session).
#include "platform/wayland/portal_hot_keys.h"
#include "support/child_process.h"
#include "support/temp_folder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace zarvex::platform::wayland {
namespace {

using test::ChildProcess;

bool PumpUntil(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

QString Owner(const QString& name)
{
    return QDBusConnection::sessionBus().interface()->serviceOwner(name).value();
}

QString TestPortal(const QString& method, const QVariantList& args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.impl.portal.desktop.zarvextest"),
                                                       QStringLiteral("/org/freedesktop/portal/desktop"),
                                                       QStringLiteral("org.zarvex.TestPortal"), method);
    call.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    return reply.arguments().isEmpty() ? QString() : reply.arguments().first().toString();
}

TEST(PortalHotKeys, ShortcutIsBoundThroughThePortalAndItsPressesArrive)
{
    const char* frontend = "/usr/libexec/xdg-desktop-portal";
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS") || !std::filesystem::exists(frontend)) {
        std::printf("SKIPPED: needs xdg-desktop-portal and a private session bus (dbus-run-session)\n");
        GTEST_SKIP();
    }
    int argc = 1;
    char name[] = "portal_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const test::TempFolder portals("portals");
    ::setenv("XDG_DESKTOP_PORTAL_DIR", portals.Path().c_str(), 1);
    ::setenv("XDG_CURRENT_DESKTOP", "zarvextest", 1);
    const QString desktop = QStringLiteral("org.freedesktop.portal.Desktop");

    // A portal with no global-shortcuts backend for this desktop.
    ChildProcess first({frontend, "--replace"}, portals / "frontend1.log");
    ASSERT_TRUE(PumpUntil([&] { return !Owner(desktop).isEmpty(); })) << "the portal did not start";
    {
        PortalHotKeys none;
        EXPECT_FALSE(none.Available());
        EXPECT_FALSE(none.Register(1, kModControl, 'W'));
    }

    // The test backend, announced to a new portal through a .portal file.
    ChildProcess backend({ZARVEX_TEST_PORTAL}, portals / "backend.log");
    ASSERT_TRUE(PumpUntil([&] { return !Owner(QStringLiteral("org.freedesktop.impl.portal.desktop.zarvextest")).isEmpty(); }));
    std::ofstream(portals / "zarvextest.portal") << "[portal]\n"
                                                    "DBusName=org.freedesktop.impl.portal.desktop.zarvextest\n"
                                                    "Interfaces=org.freedesktop.impl.portal.GlobalShortcuts\n"
                                                    "UseIn=zarvextest\n";
    const QString old = Owner(desktop);
    ChildProcess second({frontend, "--replace"}, portals / "frontend2.log");
    ASSERT_TRUE(PumpUntil([&] { return !Owner(desktop).isEmpty() && Owner(desktop) != old; }));

    PortalHotKeys keys({{1, {"mark-point", "Add a monitor point"}}});
    ASSERT_TRUE(keys.Available());
    std::vector<int32_t> pressed;
    keys.SetHandler([&](int32_t id) { pressed.push_back(id); });
    std::string refused;
    keys.onRefused = [&](const std::string& reason) { refused = reason; };
    ASSERT_TRUE(keys.Register(1, kModControl, 'W'));
    EXPECT_TRUE(PumpUntil([&] { return TestPortal(QStringLiteral("Bound")) == QStringLiteral("mark-point=CTRL+w"); }))
        << TestPortal(QStringLiteral("Bound")).toStdString();

    TestPortal(QStringLiteral("Press"), {QStringLiteral("mark-point")});
    EXPECT_TRUE(PumpUntil([&] { return !pressed.empty(); }));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(pressed, std::vector<int32_t>{1});
    EXPECT_EQ(refused, "");

    EXPECT_TRUE(keys.Unregister(1));
    TestPortal(QStringLiteral("Press"), {QStringLiteral("mark-point")});
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(pressed, std::vector<int32_t>{1});

    // A shortcut the desktop declines is told once, not taken for bound.
    PortalHotKeys declined({{2, {"declined", "Declined"}}});
    declined.onRefused = [&](const std::string& reason) { refused = reason; };
    EXPECT_TRUE(declined.Register(2, kModControl, 'W'));
    EXPECT_TRUE(PumpUntil([&] { return !refused.empty(); }));
    EXPECT_EQ(refused, "the global shortcut was declined");
}

} // namespace
} // namespace zarvex::platform::wayland
