// QR encoding speed at versions 1, 10, 25 and 40, level M, mask 0, with
// byte-mode messages that fill the version: ours (bytes to module matrix, and
// bytes to picture; fixed and automatic version) beside libqrencode and
// qrcodegen forced to the same version, level and mask.
#include "qrcode/fake_bar_code.h"
#include "qrcode/qr_code.h"

#include <benchmark/benchmark.h>
#include <qrcodegen/qrcodegen.hpp>
#include <qrencode.h>

#include <cstdlib>
#include <random>
#include <vector>

// Exported by Debian's libqrencode but not declared in its header.
extern "C" QRcode* QRcode_encodeMask(QRinput* input, int mask);

using zarvex::qrcode::clsQRCode;

namespace {

constexpr int32_t kLevelM = 2;

std::vector<uint8_t> FillingMessage(int32_t version)
{
    // One byte segment: 4 + count bits + 8n must fit 8D (the terminator may be cut).
    const int32_t countBits = version < 10 ? 8 : 16;
    const int32_t n = (8 * clsQRCode::DataCodewordCount(version, kLevelM) - 4 - countBits) / 8;
    std::mt19937 rng(static_cast<uint32_t>(version));
    std::vector<uint8_t> data(static_cast<size_t>(n));
    for (auto& b : data)
        b = static_cast<uint8_t>('a' + rng() % 26);
    return data;
}

void Ours(benchmark::State& state, bool automatic, bool render)
{
    const auto version = static_cast<int32_t>(state.range(0));
    const auto data = FillingMessage(version);
    clsQRCode qr;
    const int32_t n = static_cast<int32_t>(data.size());
    for (auto _ : state) {
        if (render) {
            auto picture = zarvex::qrcode::EncodeToPicture(qr, data, n, automatic ? 0 : version, kLevelM, 0);
            benchmark::DoNotOptimize(picture);
        } else {
            auto symbol = qr.EncodeToMatrix(data, n, automatic ? 0 : version, kLevelM, 0);
            if (!symbol || symbol->version != version)
                state.SkipWithError("wrong version");
            benchmark::DoNotOptimize(symbol);
        }
    }
    state.counters["bytes"] = static_cast<double>(n);
}

void BM_Ours_Matrix_Fixed(benchmark::State& s) { Ours(s, false, false); }
void BM_Ours_Matrix_Auto(benchmark::State& s) { Ours(s, true, false); }
void BM_Ours_Picture_Fixed(benchmark::State& s) { Ours(s, false, true); }
void BM_Ours_Picture_Auto(benchmark::State& s) { Ours(s, true, true); }

void BM_Libqrencode(benchmark::State& state)
{
    const auto version = static_cast<int>(state.range(0));
    const auto data = FillingMessage(version);
    for (auto _ : state) {
        QRinput* input = QRinput_new2(version, QR_ECLEVEL_M);
        QRinput_append(input, QR_MODE_8, static_cast<int>(data.size()), data.data());
        QRcode* code = QRcode_encodeMask(input, 0);
        if (!code || code->version != version) // it takes the version as a minimum
            state.SkipWithError("libqrencode chose another version");
        benchmark::DoNotOptimize(code);
        QRcode_free(code);
        QRinput_free(input);
    }
}

void BM_Qrcodegen(benchmark::State& state)
{
    using qrcodegen::QrCode;
    const auto version = static_cast<int>(state.range(0));
    const auto data = FillingMessage(version);
    for (auto _ : state) {
        const std::vector<qrcodegen::QrSegment> segs{qrcodegen::QrSegment::makeBytes(data)};
        QrCode code = QrCode::encodeSegments(segs, QrCode::Ecc::MEDIUM, version, version, 0, false);
        benchmark::DoNotOptimize(code);
    }
}

#define VERSIONS ->Arg(1)->Arg(10)->Arg(25)->Arg(40)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Ours_Matrix_Fixed) VERSIONS;
BENCHMARK(BM_Ours_Matrix_Auto) VERSIONS;
BENCHMARK(BM_Ours_Picture_Fixed) VERSIONS;
BENCHMARK(BM_Ours_Picture_Auto) VERSIONS;
BENCHMARK(BM_Libqrencode) VERSIONS;
BENCHMARK(BM_Qrcodegen) VERSIONS;

} // namespace

BENCHMARK_MAIN();
