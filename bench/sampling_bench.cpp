// Sampling-pass cost on a real X server (run through bench/sampling_bench.sh,
// which starts a 1920x1080 virtual one): the batched reading of a pass beside
// one read per point, and the whole pass with its counter updates.
#include "monitor/run_actions.h"
#include "platform/x11/x11_screen.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace zarvex;

namespace {

std::vector<platform::Point> RandomPoints(size_t n)
{
    std::mt19937 rng(static_cast<uint32_t>(n));
    std::uniform_int_distribution<int32_t> x(0, 1919), y(0, 1079);
    std::vector<platform::Point> points(n);
    for (auto& p : points)
        p = {x(rng), y(rng)};
    return points;
}

platform::x11::X11Screen& Screen()
{
    static platform::x11::X11Screen screen(nullptr);
    return screen;
}

void BM_Batched(benchmark::State& state)
{
    const auto points = RandomPoints(static_cast<size_t>(state.range(0)));
    std::vector<int32_t> colors(points.size());
    for (auto _ : state) {
        Screen().PixelColors(points, colors);
        benchmark::DoNotOptimize(colors.data());
    }
}

void BM_BatchedWithoutSharedMemory(benchmark::State& state)
{
    const auto points = RandomPoints(static_cast<size_t>(state.range(0)));
    std::vector<int32_t> colors(points.size());
    Screen().SetSharedMemoryAllowed(false);
    for (auto _ : state) {
        Screen().PixelColors(points, colors);
        benchmark::DoNotOptimize(colors.data());
    }
    Screen().SetSharedMemoryAllowed(true);
}

void BM_OneReadPerPoint(benchmark::State& state)
{
    const auto points = RandomPoints(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        for (const auto& p : points)
            benchmark::DoNotOptimize(Screen().PixelColor(p));
    }
}

// The whole pass: reading, counters, last colours.
void BM_SamplingPass(benchmark::State& state)
{
    struct NullTimer : monitor::Timer {
        void Start() override {}
        void Stop() override {}
        bool IsRunning() const override { return true; }
    } timer;
    struct Window : monitor::RunWindow {
        std::string EmailText() const override { return {}; }
        std::string SearchText() const override { return {}; }
        std::string StartStopCaption() const override { return {}; }
        void SetStartStopCaption(const std::string&) override {}
        void SetWindowCaption(const std::string&) override {}
        monitor::AlertMode Mode() const override { return monitor::AlertMode::NoChange; }
        void ShowMessage(const std::string&) override {}
    } window;
    monitor::MonitorState s;
    monitor::MonitorTable table;
    for (const auto& p : RandomPoints(static_cast<size_t>(state.range(0)))) {
        s.CurrentX = p.x;
        s.CurrentY = p.y;
        monitor::AddMonitorPoint(table, s);
    }
    monitor::RunContext run{s, table, window, timer, timer, timer, Screen(), {}, {}};
    for (auto _ : state)
        monitor::SamplingPass(run);
}

BENCHMARK(BM_Batched)->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BatchedWithoutSharedMemory)->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneReadPerPoint)->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SamplingPass)->Arg(10)->Arg(1000)->Arg(32767)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
