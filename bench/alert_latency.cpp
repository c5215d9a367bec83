// Alert latency: from a change of the screen under a monitor point to the
// notification request arriving at the service, over 20 changes. Runs the
// real main window on a virtual desktop (bench/alert_latency.sh).
#include "ui/qt/main_window.h"
#include "platform/platform.h"
#include "support/http_test_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace zarvex;
namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    std::string reason;
    platform::Platform platform = platform::CreatePlatform(reason);
    if (!platform.screen) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 1;
    }
    test::HttpTestServer server;
    const fs::path folder = fs::temp_directory_path() / ("zarvex-latency-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "config.ini") << "[con]\nfz=60\nchgwnd=70\ntips=0\nemail=\ngame=\nserver=127.0.0.1:"
                                         << server.Port() << "\n";

    monitor::Form1Services services;
    services.screen = platform.screen.get();
    services.hotKeys = platform.hotKeys.get();
    monitor::Form1 w(services, folder);
    w.show();
    w.findChild<QLineEdit*>("Text2")->setText("latency@163.com");
    w.findChild<QRadioButton*>("opt_whenchange")->setChecked(true);

    auto pump = [&](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(500);
        }
    };
    std::system("xsetroot -solid '#000000'");
    pump(300);
    w.State().CurrentX = 1270;
    w.State().CurrentY = 790;
    w.State().CurrentColor = 0;
    w.AddPointFromHotKey();

    std::vector<double> latencies;
    const char* colours[] = {"#ff0000", "#000000"};
    for (int round = 0; round < 20; ++round) {
        // Re-arm the point (an alerted point never alerts again) and start a run.
        w.Points().Update(0, [](monitor::MonitorPoint& p) {
            p.alerted = false;
            p.counter = 0;
        });
        w.OnStartStop();
        pump(1000 + 97 * round); // changes fall at different moments of the timers' second
        const size_t before = server.Requests().size();
        std::system((std::string("xsetroot -solid '") + colours[round % 2] + "'").c_str());
        const auto changed = std::chrono::steady_clock::now();
        QElapsedTimer waited;
        waited.start();
        while (server.Requests().size() == before && waited.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 2);
            QThread::usleep(200);
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - changed).count());
        pump(200);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("alert latency over %zu changes: median %.0f ms, minimum %.0f ms, maximum %.0f ms\n", latencies.size(),
                (latencies[9] + latencies[10]) / 2, latencies.front(), latencies.back());
    fs::remove_all(folder);
    return 0;
}
