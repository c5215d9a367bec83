// The desktop portal clients against the real portal (xdg-desktop-portal)
// with a test backend (test_portal_backend.py, on python-dbusmock) standing
// in for the desktop's, on a private session bus; screen casts are read from
// a private PipeWire daemon.
#include "platform/wayland/portal_hot_keys.h"
#include "platform/wayland/screen_cast_screen.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/test_helpers.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <fstream>

namespace zarvex::platform::wayland {
namespace {

using test::ChildProcess;
using namespace std::chrono_literals;

const char* const kFrontend = "/usr/libexec/xdg-desktop-portal";
const QString kDesktop = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kBackend = QStringLiteral("org.freedesktop.impl.portal.desktop.zarvextest");

// Waits for `done`, handling Qt's events (D-Bus answers and signals) meanwhile.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s)
{
    return test::WaitFor([&] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }, limit);
}

QString Owner(const QString& name)
{
    return QDBusConnection::sessionBus().interface()->serviceOwner(name).value();
}

// Links the source `name` to the screen's stream of node `id`, as the
// desktop's session manager would (the link may already be there from an
// earlier attempt that reported a failure).
bool Link(const std::string& name, uint32_t id)
{
    const std::string stream = "zarvex-screen-" + std::to_string(id) + ":in_0";
    return PumpUntil([&] {
        return std::system(("pw-link " + name + ":out_0 " + stream + " >/dev/null 2>&1").c_str()) == 0
            || std::system(("pw-link -l | grep -qF -- '|-> " + stream + "'").c_str()) == 0;
    });
}

// A session bus of the case's own, where a portal finds the test backend, when
// there is one, through a .portal file in a private folder.
class PortalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(kFrontend))
            GTEST_SKIP() << "SKIPPED: " << kFrontend << " is not installed (scripts/setup installs it)";
        const std::string bus = "unix:path=" + (folder_ / "bus").string();
        bus_.Start({"dbus-daemon", "--session", "--nofork", "--address=" + bus}, folder_ / "bus.log");
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
        ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(folder_ / "bus"); }));
        ::setenv("XDG_DESKTOP_PORTAL_DIR", folder_.Path().c_str(), 1);
        ::setenv("XDG_CURRENT_DESKTOP", "zarvextest", 1);
    }

    // Starts a portal, with the test backend sharing `monitors` (a JSON list
    // of [node, x, y, width, height]) or with no backend.
    void StartPortal(bool withBackend, const std::string& monitors = "[]")
    {
        if (withBackend) {
            backend_.Start({"/usr/bin/python3", "-m", "dbusmock", "-t", ZARVEX_TEST_PORTAL, "-p",
                            "{\"monitors\": " + monitors + "}"}, folder_ / "backend.log");
            ASSERT_TRUE(PumpUntil([&] { return !Owner(kBackend).isEmpty(); })) << BackendLog();
            std::ofstream(folder_ / "zarvextest.portal")
                << "[portal]\nDBusName=" << kBackend.toStdString()
                << "\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts;org.freedesktop.impl.portal.ScreenCast;\n"
                   "UseIn=zarvextest\n";
        }
        const QString old = Owner(kDesktop);
        frontend_.Kill(SIGKILL);
        frontend_.Start({kFrontend, "--replace"}, folder_ / "frontend.log"); // replacing any running one
        ASSERT_TRUE(PumpUntil([&] { return !Owner(kDesktop).isEmpty() && Owner(kDesktop) != old; }))
            << "the portal did not start";
    }

    std::string BackendLog() const { return test::Slurp(folder_ / "backend.log"); }
    bool BackendSaid(const std::string& line) const { return BackendLog().find(line + "\n") != std::string::npos; }

    // The desktop reports a press (and release) of the shortcut `id`.
    static void Press(const std::string& id)
    {
        ASSERT_EQ(std::system(("dbus-send --session --print-reply --dest=" + kBackend.toStdString()
                               + " /org/freedesktop/portal/desktop org.freedesktop.DBus.Mock.Press string:" + id
                               + " >/dev/null").c_str()), 0);
    }

    int argc_ = 1;
    char name_[16] = "portal_tests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_{argc_, argv_};
    test::TempFolder folder_{"portal"};
    ChildProcess bus_, backend_, frontend_;
};

// A desktop whose portal binds global shortcuts but shares no monitor.
TEST_F(PortalTest, ShortcutIsBoundAndPressedButNoMonitorIsShared)
{
    StartPortal(false); // no backend for this desktop
    PortalHotKeys none;
    EXPECT_FALSE(none.Available());
    EXPECT_FALSE(none.Register(1, kModControl, 'W'));

    StartPortal(true);
    PortalHotKeys keys({{1, {"mark-point", "Add a monitor point"}}});
    ASSERT_TRUE(keys.Available());
    std::vector<int32_t> pressed;
    keys.SetHandler([&](int32_t id) { pressed.push_back(id); });
    std::string refused;
    keys.onRefused = [&](const std::string& reason) { refused = reason; };
    ASSERT_TRUE(keys.Register(1, kModControl, 'W'));
    EXPECT_TRUE(PumpUntil([&] { return BackendSaid("bound mark-point=CTRL+w"); })) << BackendLog();
    Press("mark-point");
    EXPECT_TRUE(PumpUntil([&] { return !pressed.empty(); }));
    EXPECT_TRUE(keys.Unregister(1));
    Press("mark-point");

    // The screen says why once and stays unreadable, so that no run starts.
    ScreenCastScreen cast;
    std::vector<std::string> told;
    cast.Start("", {}, [&](const std::string& why) { told.push_back(why); });
    ASSERT_TRUE(PumpUntil([&] { return !told.empty(); }));
    PumpUntil([] { return false; }, 300ms); // time for a second press or refusal to arrive
    EXPECT_EQ(pressed, std::vector<int32_t>{1}) << "a press (its release too) after the shortcut was bound only";
    EXPECT_EQ(refused, "");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(cast.Unavailable(), told[0]);
    EXPECT_NE(told[0].find("不能启动监控"), std::string::npos) << told[0];
    EXPECT_EQ(cast.PixelColor({10, 10}), kColorOutside);

    // A shortcut the desktop declines is told once, not taken for bound.
    PortalHotKeys declined({{2, {"declined", "Declined"}}});
    declined.onRefused = [&](const std::string& reason) { refused = reason; };
    EXPECT_TRUE(declined.Register(2, kModControl, 'W'));
    EXPECT_TRUE(PumpUntil([&] { return !refused.empty(); }));
    EXPECT_EQ(refused, "the global shortcut was declined");
}

// The whole screen-cast chain as the program uses it: the portal grants two
// test nodes as monitors, their streams are read through the grant's PipeWire
// connection, and the grant's restore token brings the grant back. Stream b
// (videotestsrc's seven colour bars) shows the logical rectangle 1280,0
// 640x400 and stream c (solid #336699, the pointer at 100,50 of its frame)
// 0,800 1280x800, each in 320x200 pixels: a point read without the stream's
// rectangle lands on the wrong bar or outside. With no session manager
// running, the test links the streams itself, so the node ids granted are
// only the names of the program's streams (zarvex-screen-ID).
TEST_F(PortalTest, ScreenCastGrantsMonitorsWhoseStreamsAreRead)
{
    for (const char* tool : {"pipewire", "pw-link", "gst-launch-1.0"})
        if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0)
            GTEST_SKIP() << "SKIPPED: " << tool << " is not installed (scripts/setup installs it)";
    // A PipeWire daemon of this test, which the portal and the screen connect to.
    std::filesystem::permissions(folder_.Path(), std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", folder_.Path().c_str(), 1);
    ::setenv("PIPEWIRE_RUNTIME_DIR", folder_.Path().c_str(), 1);
    ::unsetenv("PIPEWIRE_REMOTE");
    ChildProcess daemon({"pipewire"}, folder_ / "pipewire.log");
    ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(folder_ / "pipewire-0"); }));
    ChildProcess b({"gst-launch-1.0", "-q", "videotestsrc", "pattern=smpte", "!",
                    "video/x-raw,format=BGRx,width=320,height=200,framerate=10/1", "!", "pipewiresink", "mode=provide",
                    "stream-properties=p,node.name=zarvex-test-b"}, folder_ / "b.log");
    ChildProcess c({ZARVEX_CURSOR_SOURCE, "zarvex-test-c", "100", "50"}, folder_ / "c.log");
    StartPortal(true, "[[9001, 1280, 0, 640, 400], [9002, 0, 800, 1280, 800]]");

    ScreenCastScreen cast;
    EXPECT_FALSE(cast.Unavailable().empty()); // until the desktop has agreed
    std::string kept, refused;
    cast.Start("", [&](const std::string& token) { kept = token; }, [&](const std::string& why) { refused = why; });
    ASSERT_TRUE(PumpUntil([&] { return cast.Unavailable().empty(); })) << refused;
    ASSERT_TRUE(Link("zarvex-test-b", 9001));
    ASSERT_TRUE(PumpUntil([&] { return cast.PixelColor({1300, 10}) != kColorOutside; }));
    EXPECT_FALSE(cast.KnowsCursorPosition()); // this source sends no pointer
    ASSERT_TRUE(Link("zarvex-test-c", 9002));
    EXPECT_TRUE(PumpUntil([&] { return cast.KnowsCursorPosition(); }));
    EXPECT_EQ(cast.CursorPosition(), (Point{400, 1000}));

    const auto bar = [](int k) { return Point{1280 + (2 * k + 1) * 640 / 14, 50}; };
    const std::vector<Point> points = {{100, 900}, {1279, 1599}, bar(0), bar(1), bar(5), bar(6), {1280 + 639, 10},
                                       {1280 + 640, 10}, {-1, 800}, {100, 100}};
    const int32_t blue = PackColor(0x00, 0x00, 0xff), outside = kColorOutside;
    const std::vector<int32_t> expected = {PackColor(0x33, 0x66, 0x99), PackColor(0x33, 0x66, 0x99),
                                           PackColor(0xff, 0xff, 0xff), PackColor(0xff, 0xff, 0x00),
                                           PackColor(0xff, 0x00, 0x00), blue, blue, outside, outside, outside};
    std::vector<int32_t> colors(points.size());
    cast.PixelColors(points, colors);
    EXPECT_EQ(colors, expected);

    // A stream whose source is gone reads as unknown, not as its last frame.
    b.Kill(SIGTERM);
    EXPECT_TRUE(PumpUntil([&] { return cast.PixelColor(bar(1)) == kColorOutside; }));
    EXPECT_EQ(cast.PixelColor({100, 900}), expected[0]);

    // The next start with the kept token: the desktop is given back what it kept.
    ScreenCastScreen again;
    again.Start(kept, {}, {});
    ASSERT_TRUE(PumpUntil([&] { return again.Unavailable().empty(); }));
    EXPECT_TRUE(BackendSaid("selected types=1 multiple=1 cursor=4 persist=2 restored=all monitors")) << BackendLog();
}

} // namespace
} // namespace zarvex::platform::wayland
