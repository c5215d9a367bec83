// Reading cost of the wlroots screen-copy backend on a real compositor (run
// through bench/wayland_screen_bench.sh, which starts the tests' headless
// sway: 1280x800 at scale 1 beside 1280x800 pixels at scale 2). A reading
// captures one frame of every output it needs, so its cost follows the
// compositor's frame pace more than the number of points.
#include "platform/wayland/wlr_screen.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace zarvex;

namespace {

// Points spread over both outputs (logical 0..1919 x 0..399), or over the
// first one only.
std::vector<platform::Point> RandomPoints(size_t n, int32_t width)
{
    std::mt19937 rng(static_cast<uint32_t>(n));
    std::uniform_int_distribution<int32_t> x(0, width - 1), y(0, 399);
    std::vector<platform::Point> points(n);
    for (auto& p : points)
        p = {x(rng), y(rng)};
    return points;
}

platform::wayland::WlrScreen& Screen()
{
    static platform::wayland::WlrScreen screen;
    return screen;
}

void Read(benchmark::State& state, int32_t width)
{
    if (!Screen().Ready()) {
        state.SkipWithError("no compositor with screen copy in WAYLAND_DISPLAY");
        return;
    }
    const auto points = RandomPoints(static_cast<size_t>(state.range(0)), width);
    std::vector<int32_t> colors(points.size());
    for (auto _ : state) {
        Screen().PixelColors(points, colors);
        benchmark::DoNotOptimize(colors.data());
    }
}

void BM_OneOutput(benchmark::State& state) { Read(state, 1280); }
void BM_BothOutputs(benchmark::State& state) { Read(state, 1920); }

} // namespace

BENCHMARK(BM_OneOutput)->Arg(1)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BothOutputs)->Arg(2)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
