// The desktop portal clients against the real portal (xdg-desktop-portal)
// with a test backend standing in for the desktop, on a private session bus
// (the test runs under dbus-run-session).
#include "platform/wayland/pipewire_screen.h"
#include "platform/wayland/portal_hot_keys.h"
#include "platform/wayland/screen_cast_portal.h"
#include "platform/wayland/screen_cast_screen.h"
#include "support/temp_folder.h"
#include "wayland_test_helpers.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <unistd.h>

#include <fstream>
#include <memory>

namespace zarvex::platform::wayland {
namespace {

using test::ChildProcess;

const char* const kFrontend = "/usr/libexec/xdg-desktop-portal";
const QString kDesktop = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kBackend = QStringLiteral("org.freedesktop.impl.portal.desktop.zarvextest");

void Pump()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool PumpUntil(const std::function<bool()>& done, int ms = 10000)
{
    return test::WaitFor(done, ms, Pump);
}

QString Owner(const QString& name)
{
    return QDBusConnection::sessionBus().interface()->serviceOwner(name).value();
}

// Asks the test backend what it was told (Bound, LastSelect) or has it press
// a shortcut (Press).
QString TestPortal(const char* interface, const QString& method, const QVariantList& args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(kBackend, QStringLiteral("/org/freedesktop/portal/desktop"),
                                                       QStringLiteral("org.freedesktop.impl.portal.") + interface, method);
    call.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    return reply.arguments().isEmpty() ? QString() : reply.arguments().first().toString();
}

// A screen-cast grant asked for with `token`, or the error.
std::optional<ScreenCastGrant> Grant(ScreenCastPortal& portal, const std::string& token, std::string& error)
{
    std::optional<ScreenCastGrant> grant;
    error = "no answer";
    portal.Start(token, [&](ScreenCastGrant* g, const std::string& e) {
        if (g)
            grant = *g;
        error = e;
    });
    PumpUntil([&] { return grant || error != "no answer"; });
    return grant;
}

// A portal (replacing any running one) that finds the test backend, when
// there is one, through a .portal file in a private folder.
class PortalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZARVEX_SKIP_IF(std::getenv("DBUS_SESSION_BUS_ADDRESS") && std::filesystem::exists(kFrontend)
                           ? "" : "needs xdg-desktop-portal and a private session bus (dbus-run-session)");
        std::filesystem::permissions(folder_.Path(), std::filesystem::perms::owner_all);
        ::setenv("XDG_DESKTOP_PORTAL_DIR", (folder_ / "portals").c_str(), 1);
        ::setenv("XDG_CURRENT_DESKTOP", "zarvextest", 1);
        std::filesystem::create_directories(folder_ / "portals");
    }

    // Starts the test backend with `arguments` and a portal that uses it.
    void StartPortal(bool withBackend, const std::vector<std::string>& arguments = {})
    {
        if (withBackend) {
            std::vector<std::string> argv = {ZARVEX_TEST_PORTAL};
            argv.insert(argv.end(), arguments.begin(), arguments.end());
            backend_ = std::make_unique<ChildProcess>(argv, folder_ / "backend.log");
            ASSERT_TRUE(PumpUntil([&] { return !Owner(kBackend).isEmpty(); }));
            std::ofstream(folder_ / "portals" / "zarvextest.portal")
                << "[portal]\nDBusName=" << kBackend.toStdString()
                << "\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts;org.freedesktop.impl.portal.ScreenCast;\n"
                   "UseIn=zarvextest\n";
        }
        const QString old = Owner(kDesktop);
        frontends_.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{kFrontend, "--replace"},
                                                            folder_ / "frontend.log"));
        ASSERT_TRUE(PumpUntil([&] { return !Owner(kDesktop).isEmpty() && Owner(kDesktop) != old; }))
            << "the portal did not start";
    }

    int argc_ = 1;
    char name_[16] = "portal_tests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_{argc_, argv_};
    test::TempFolder folder_{"portal"};
    std::unique_ptr<ChildProcess> backend_;
    std::vector<std::unique_ptr<ChildProcess>> frontends_;
};

TEST_F(PortalTest, ShortcutIsBoundThroughThePortalAndItsPressesArrive)
{
    // A portal with no global-shortcuts backend for this desktop.
    StartPortal(false);
    {
        PortalHotKeys none;
        EXPECT_FALSE(none.Available());
        EXPECT_FALSE(none.Register(1, kModControl, 'W'));
    }

    StartPortal(true);
    PortalHotKeys keys({{1, {"mark-point", "Add a monitor point"}}});
    ASSERT_TRUE(keys.Available());
    std::vector<int32_t> pressed;
    keys.SetHandler([&](int32_t id) { pressed.push_back(id); });
    std::string refused;
    keys.onRefused = [&](const std::string& reason) { refused = reason; };
    ASSERT_TRUE(keys.Register(1, kModControl, 'W'));
    EXPECT_TRUE(PumpUntil([&] { return TestPortal("GlobalShortcuts", QStringLiteral("Bound")) == QStringLiteral("mark-point=CTRL+w"); }))
        << TestPortal("GlobalShortcuts", QStringLiteral("Bound")).toStdString();

    TestPortal("GlobalShortcuts", QStringLiteral("Press"), {QStringLiteral("mark-point")});
    EXPECT_TRUE(PumpUntil([&] { return !pressed.empty(); }));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(pressed, std::vector<int32_t>{1});
    EXPECT_EQ(refused, "");

    EXPECT_TRUE(keys.Unregister(1));
    TestPortal("GlobalShortcuts", QStringLiteral("Press"), {QStringLiteral("mark-point")});
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(pressed, std::vector<int32_t>{1});

    // A shortcut the desktop declines is told once, not taken for bound.
    PortalHotKeys declined({{2, {"declined", "Declined"}}});
    declined.onRefused = [&](const std::string& reason) { refused = reason; };
    EXPECT_TRUE(declined.Register(2, kModControl, 'W'));
    EXPECT_TRUE(PumpUntil([&] { return !refused.empty(); }));
    EXPECT_EQ(refused, "the global shortcut was declined");
}

// The whole screen-cast chain: the portal grants two test nodes as monitors,
// their streams are read through the grant's PipeWire connection, and the
// grant's restore token brings the grant back. Stream b (the seven colour
// bars) shows the logical rectangle 1280,0 640x400 and stream c (solid
// #336699, the pointer at 100,50 of its frame) 0,800 1280x800, each in
// 320x200 pixels: a point read without the stream's rectangle lands on the
// wrong bar or outside. With no session manager running, the test links the
// streams itself.
TEST_F(PortalTest, ScreenCastGrantsMonitorsWhoseStreamsAreRead)
{
    ZARVEX_SKIP_IF(test::MissingPipeWireTool());
    ChildProcess daemon;
    ASSERT_TRUE(test::StartPipeWire(daemon, folder_.Path(), Pump)); // the portal connects to it
    ChildProcess b(test::TestBars("zarvex-test-b"), folder_ / "b.log");
    ChildProcess c({ZARVEX_CURSOR_SOURCE, "zarvex-test-c", "100", "50"}, folder_ / "c.log");
    const std::optional<uint32_t> idB = test::NodeId("zarvex-test-b", Pump), idC = test::NodeId("zarvex-test-c", Pump);
    ASSERT_TRUE(idB && idC);
    StartPortal(true, {std::to_string(*idB) + ":1280,0,640,400", std::to_string(*idC) + ":0,800,1280,800"});

    ScreenCastPortal portal;
    ASSERT_TRUE(portal.Available());
    std::string error;
    const std::optional<ScreenCastGrant> grant = Grant(portal, "", error);
    ASSERT_TRUE(grant) << error;
    EXPECT_EQ(TestPortal("ScreenCast", QStringLiteral("LastSelect")), QStringLiteral("types=1 multiple=1 cursor=4 persist=2 restored="));
    std::vector<std::vector<int32_t>> granted;
    for (const CastStream& s : grant->streams)
        granted.push_back({static_cast<int32_t>(s.nodeId), s.x, s.y, s.width, s.height});
    EXPECT_EQ(granted, (std::vector<std::vector<int32_t>>{{static_cast<int32_t>(*idB), 1280, 0, 640, 400},
                                                          {static_cast<int32_t>(*idC), 0, 800, 1280, 800}}));
    EXPECT_FALSE(grant->restoreToken.empty());

    PipeWireScreen screen(grant->streams, grant->pipeWireFd);
    ASSERT_TRUE(screen.Ready());
    ASSERT_TRUE(test::Link("zarvex-test-b", *idB, Pump));
    ASSERT_TRUE(PumpUntil([&] { return screen.PixelColor({1300, 10}) != kColorOutside; }));
    EXPECT_FALSE(screen.KnowsCursorPosition()); // this source sends no pointer
    ASSERT_TRUE(test::Link("zarvex-test-c", *idC, Pump));
    ASSERT_TRUE(screen.WaitForFrames(10000));
    EXPECT_TRUE(PumpUntil([&] { return screen.KnowsCursorPosition(); }));
    EXPECT_EQ(screen.CursorPosition(), (Point{400, 1000}));

    const auto bar = [](int k) { return Point{1280 + (2 * k + 1) * 640 / 14, 50}; };
    const std::vector<Point> points = {{100, 900}, {1279, 1599}, bar(0), bar(1), bar(5), bar(6), {1280 + 639, 10},
                                       {1280 + 640, 10}, {-1, 800}, {100, 100}};
    const int32_t blue = PackColor(0x00, 0x00, 0xff), outside = kColorOutside;
    const std::vector<int32_t> expected = {PackColor(0x33, 0x66, 0x99), PackColor(0x33, 0x66, 0x99),
                                           PackColor(0xff, 0xff, 0xff), PackColor(0xff, 0xff, 0x00),
                                           PackColor(0xff, 0x00, 0x00), blue, blue, outside, outside, outside};
    std::vector<int32_t> colors(points.size());
    screen.PixelColors(points, colors);
    EXPECT_EQ(colors, expected);
    EXPECT_EQ(screen.PixelColor(bar(1)), expected[3]);

    // A stream whose source is gone reads as unknown, not as its last frame.
    b.Kill(SIGTERM);
    EXPECT_TRUE(PumpUntil([&] { return screen.PixelColor(bar(1)) == kColorOutside; }));
    EXPECT_EQ(screen.PixelColor({100, 900}), expected[0]);

    // The next start with the token: the desktop gets back what it kept.
    const std::string token = grant->restoreToken;
    ScreenCastPortal again;
    const std::optional<ScreenCastGrant> second = Grant(again, token, error);
    ASSERT_TRUE(second) << error;
    ::close(second->pipeWireFd);
    EXPECT_EQ(TestPortal("ScreenCast", QStringLiteral("LastSelect")), QStringLiteral("types=1 multiple=1 cursor=4 persist=2 restored=all monitors"));

    // The program's screen: unreadable until the grant, then read, and the
    // new token handed on to be kept.
    ScreenCastScreen cast;
    EXPECT_FALSE(cast.Unavailable().empty());
    std::string kept, refused;
    cast.Start(token, [&](const std::string& t) { kept = t; }, [&](const std::string& why) { refused = why; });
    ASSERT_TRUE(PumpUntil([&] { return cast.Unavailable().empty(); })) << refused;
    EXPECT_FALSE(kept.empty());
}

// A desktop that shares no monitor: the screen says why once and stays
// unreadable, so that no run starts.
TEST_F(PortalTest, ScreenCastRefusalLeavesTheScreenUnreadable)
{
    StartPortal(true);
    ScreenCastScreen cast;
    std::vector<std::string> refused;
    cast.Start("", {}, [&](const std::string& why) { refused.push_back(why); });
    ASSERT_TRUE(PumpUntil([&] { return !refused.empty(); }));
    PumpUntil([] { return false; }, 300);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(cast.Unavailable(), refused[0]);
    EXPECT_NE(refused[0].find("不能启动监控"), std::string::npos) << refused[0];
    EXPECT_EQ(cast.PixelColor({10, 10}), kColorOutside);
}

} // namespace
} // namespace zarvex::platform::wayland
