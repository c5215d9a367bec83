// QR encoding speed at versions 1, 10, 25 and 40, level M, with byte-mode
// messages that fill the version: ours (bytes to module matrix, and bytes to
// picture) beside libqrencode and qrcodegen at the same version and level,
// each with mask 0 and with its own automatic mask choice (all eight masks
// scored).
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

// kAutoMask: the mask of the lowest penalty score, chosen by each encoder.
constexpr int kAutoMask = -1;

void Ours(benchmark::State& state, int mask, bool render)
{
    const auto version = static_cast<int32_t>(state.range(0));
    const auto data = FillingMessage(version);
    clsQRCode qr;
    const int32_t n = static_cast<int32_t>(data.size());
    for (auto _ : state) {
        if (render) {
            auto picture = zarvex::qrcode::EncodeToPicture(qr, data, n, version, kLevelM, mask);
            benchmark::DoNotOptimize(picture);
        } else {
            auto symbol = mask == kAutoMask ? qr.EncodeWithBestMask(data, n, version, kLevelM)
                                            : qr.EncodeToMatrix(data, n, version, kLevelM, mask);
            if (!symbol)
                state.SkipWithError("no symbol");
            benchmark::DoNotOptimize(symbol);
        }
    }
    state.counters["bytes"] = static_cast<double>(n);
}

void BM_Ours_Mask0(benchmark::State& s) { Ours(s, 0, false); }
void BM_Ours_MaskAuto(benchmark::State& s) { Ours(s, kAutoMask, false); }
void BM_Ours_Picture_Mask0(benchmark::State& s) { Ours(s, 0, true); }

void Libqrencode(benchmark::State& state, int mask)
{
    const auto version = static_cast<int>(state.range(0));
    const auto data = FillingMessage(version);
    for (auto _ : state) {
        QRcode* code = nullptr;
        if (mask == kAutoMask) {
            // Its own automatic mode: one 8-bit segment, every mask scored.
            code = QRcode_encodeData(static_cast<int>(data.size()), data.data(), version, QR_ECLEVEL_M);
        } else {
            QRinput* input = QRinput_new2(version, QR_ECLEVEL_M);
            QRinput_append(input, QR_MODE_8, static_cast<int>(data.size()), data.data());
            code = QRcode_encodeMask(input, mask);
            QRinput_free(input);
        }
        if (!code || code->version != version) // it takes the version as a minimum
            state.SkipWithError("libqrencode chose another version");
        benchmark::DoNotOptimize(code);
        QRcode_free(code);
    }
}

void BM_Libqrencode_Mask0(benchmark::State& s) { Libqrencode(s, 0); }
void BM_Libqrencode_MaskAuto(benchmark::State& s) { Libqrencode(s, kAutoMask); }

void Qrcodegen(benchmark::State& state, int mask)
{
    using qrcodegen::QrCode;
    const auto version = static_cast<int>(state.range(0));
    const auto data = FillingMessage(version);
    for (auto _ : state) {
        const std::vector<qrcodegen::QrSegment> segs{qrcodegen::QrSegment::makeBytes(data)};
        QrCode code = QrCode::encodeSegments(segs, QrCode::Ecc::MEDIUM, version, version, mask, false);
        benchmark::DoNotOptimize(code);
    }
}

void BM_Qrcodegen_Mask0(benchmark::State& s) { Qrcodegen(s, 0); }
void BM_Qrcodegen_MaskAuto(benchmark::State& s) { Qrcodegen(s, kAutoMask); }

#define VERSIONS ->Arg(1)->Arg(10)->Arg(25)->Arg(40)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Ours_Mask0) VERSIONS;
BENCHMARK(BM_Ours_MaskAuto) VERSIONS;
BENCHMARK(BM_Ours_Picture_Mask0) VERSIONS;
BENCHMARK(BM_Libqrencode_Mask0) VERSIONS;
BENCHMARK(BM_Libqrencode_MaskAuto) VERSIONS;
BENCHMARK(BM_Qrcodegen_Mask0) VERSIONS;
BENCHMARK(BM_Qrcodegen_MaskAuto) VERSIONS;

} // namespace

BENCHMARK_MAIN();
