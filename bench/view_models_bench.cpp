// The two lists as the user sees them, each in a shown table view on Qt's
// offscreen platform: appending a full table of 32767 points, and a window
// search that lists many windows.
#include "ui/qt/point_table_model.h"
#include "ui/qt/window_list_model.h"

#include <QApplication>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace zarvex;

namespace {

// A desktop of `n` windows, all of whose titles match.
class ManyWindows : public platform::TopLevelWindows {
public:
    explicit ManyWindows(int n)
    {
        for (int i = 0; i < n; ++i)
            titles_.push_back("game " + std::to_string(i));
    }
    void EnumWindows(const std::function<bool(platform::WindowHandle)>& visit) override
    {
        for (platform::WindowHandle w = 1; w <= titles_.size() && visit(w); ++w) {
        }
    }
    std::string WindowText(platform::WindowHandle w) override
    {
        return w >= 1 && w <= titles_.size() ? titles_[w - 1] : std::string();
    }
    platform::WindowHandle ForegroundWindow() override { return 0; }
    bool RaiseTopmost(platform::WindowHandle) override { return true; }

private:
    std::vector<std::string> titles_;
};

void BM_AppendFullPointTable(benchmark::State& state)
{
    for (auto _ : state) {
        monitor::MonitorTable table;
        monitor::PointTableModel model(table);
        QTableView view;
        view.setModel(&model);
        view.show();
        monitor::MonitorState current;
        while (monitor::AddMonitorPoint(table, current) == monitor::AddResult::Added) {
        }
        QApplication::processEvents();
        benchmark::DoNotOptimize(table.Count());
    }
}
BENCHMARK(BM_AppendFullPointTable)->Unit(benchmark::kMillisecond);

void BM_WindowSearch(benchmark::State& state)
{
    ManyWindows desktop(static_cast<int>(state.range(0)));
    windows::WindowList list;
    windows::WindowListModel model(list);
    QTableView view;
    view.setModel(&model);
    view.show();
    windows::SearchState search;
    for (auto _ : state) {
        windows::WindowSearch(list, search, desktop, "game");
        QApplication::processEvents();
        benchmark::DoNotOptimize(list.Count());
    }
}
BENCHMARK(BM_WindowSearch)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
