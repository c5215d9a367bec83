// Reed-Solomon encoding speed: a QR-sized block over GF(256) and a full
// 1024-symbol block over GF(2^14).
#include "ecc/reed_solomon.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

using zarvex::ecc::clsFiniteField;
using zarvex::ecc::clsReedSolomon;

namespace {

void EncodeBlock(benchmark::State& state, int32_t size, int32_t polynomial, int32_t data, int32_t ecc)
{
    auto field = std::make_shared<clsFiniteField>();
    field->InitField(size, polynomial, 0);
    clsReedSolomon rs;
    rs.InitCoder(data, ecc, field, 0, 0);
    std::mt19937 rng(1);
    std::uniform_int_distribution<int32_t> symbol(0, size - 1);
    std::vector<int32_t> block(static_cast<size_t>(data + ecc));
    for (auto& s : block)
        s = symbol(rng);
    for (auto _ : state) {
        rs.Encode(block);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * data);
}

// The largest QR block: 153 codewords of which 30 error correction.
void BM_EncodeQrBlock(benchmark::State& state) { EncodeBlock(state, 256, 285, 123, 30); }
BENCHMARK(BM_EncodeQrBlock);

void BM_Encode1024OverGf16384(benchmark::State& state) { EncodeBlock(state, 16384, 17475, 1024 - 64, 64); }
BENCHMARK(BM_Encode1024OverGf16384);

void BM_InitCoderQr(benchmark::State& state)
{
    auto field = std::make_shared<clsFiniteField>();
    field->InitField(256, 285, 2);
    clsReedSolomon rs;
    for (auto _ : state)
        benchmark::DoNotOptimize(rs.InitCoder(123, 30, field, 0, 0));
}
BENCHMARK(BM_InitCoderQr);

} // namespace

BENCHMARK_MAIN();
