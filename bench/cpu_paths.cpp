// Milliseconds per frame of the CPU passes that run on every frame, portable
// against the fast x86 variants: the denoiser's block analysis and blends,
// the packed-RGB to I420 conversion and the brightness statistics.
// Arguments: width, height, variant (0 portable, 1 SSE2, 2 AVX2).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "convert/color_space_rows.h"
#include "denoise/denoiser_blend.h"
#include "denoise/denoiser_rows.h"
#include "detect/brightness_stats.h"

namespace kelvo {
namespace video {
namespace {

const char* const kVariantNames[] = {"portable", "SSE2", "AVX2"};

// A camera-like plane: a gradient with noise of the given spread.
std::vector<uint8_t> noisyPlane(int width, int height, int spread, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-spread, spread);
    std::vector<uint8_t> plane(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = 40 + (x * 3 + y * 2) % 170 + noise(rng);
            plane[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(v < 0     ? 0
                                                                             : v > 255 ? 255
                                                                                       : v);
        }
    return plane;
}

void setLabel(benchmark::State& state) { state.SetLabel(kVariantNames[state.range(2)]); }

// The flags of the benchmark's variant; false (and the benchmark skipped)
// where this run lacks them.
bool variantFlags(benchmark::State& state, CpuFlags* flags) {
    *flags = kCpuLevels[state.range(2)].flags;
    if ((cpuFlags() & *flags) == *flags) return true;
    state.SkipWithError("variant not supported");
    return false;
}

// denoiseBlock and variance16x8 over every block, as the denoiser's analysis.
void BM_DenoiserBlockAnalysis(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    CpuFlags flags;
    if (!variantFlags(state, &flags)) return;
    const auto filter = denoiserFilterFor(denoiserRowsFor(flags));
    const auto reference = noisyPlane(w, h, 6, 1);
    const auto source = noisyPlane(w, h, 6, 2);
    std::vector<uint8_t> out(source.size());
    DenoiserBlockMaps maps;
    maps.resize(w, h);
    for (auto _ : state) {
        analyseBlocks(*filter, nullptr, reference.data(), source.data(), out.data(), w, 0, maps);
        benchmark::DoNotOptimize(out.data());
    }
    setLabel(state);
}

// Every block blended, static at the frame's weight (the usual case on a
// still camera) and, in a second pass, moving.
void BM_DenoiserBlends(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    CpuFlags flags;
    if (!variantFlags(state, &flags)) return;
    const auto moving = denoiserRowsFor(flags).blendMoving;
    const auto still = denoiserRowsFor(flags).blendStatic;
    const float weight = denoiserBlendClass(w, h).staticWeight;
    const auto reference = noisyPlane(w, h, 6, 1);
    const auto source = noisyPlane(w, h, 6, 2);
    std::vector<uint8_t> out(source.size());
    for (auto _ : state) {
        for (int y = 0; y + 16 <= h; y += 16)
            for (int x = 0; x + 16 <= w; x += 16) {
                const size_t o = static_cast<size_t>(y) * w + x;
                still(reference.data() + o, w, source.data() + o, w, out.data() + o, w, weight);
            }
        for (int y = 0; y + 16 <= h; y += 16)
            for (int x = 0; x + 16 <= w; x += 16) {
                const size_t o = static_cast<size_t>(y) * w + x;
                moving(reference.data() + o, w, source.data() + o, w, out.data() + o, w);
            }
        benchmark::DoNotOptimize(out.data());
    }
    setLabel(state);
}

// RGBA readback (ABGR byte order) to I420, BT.709 full range.
void BM_PackedToI420(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    CpuFlags flags;
    if (!variantFlags(state, &flags)) return;
    const PackedRows rows = packedRowsFor(flags);
    const auto rgba = noisyPlane(w * 4, h, 30, 3);
    std::vector<uint8_t> y(static_cast<size_t>(w) * h), u(static_cast<size_t>(w / 2) * (h / 2)),
        v(u.size());
    for (auto _ : state) {
        packedToI420WithRows(PackedOrder::kABGR, rows, rgba.data(), w * 4, y.data(), w, u.data(),
                             w / 2, v.data(), w / 2, w, h, 1, 1);
        benchmark::DoNotOptimize(y.data());
        benchmark::DoNotOptimize(u.data());
    }
    setLabel(state);
}

// Variant 1 stands for the fast pass (plain C++, no instruction-set flags).
void BM_BrightnessStats(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    if (state.range(2) == 2) {
        state.SkipWithError("no AVX2 form");
        return;
    }
    const BrightnessPass pass = state.range(2) ? BrightnessPass::kFast : BrightnessPass::kPortable;
    const auto luma = noisyPlane(w, h, 20, 4);
    MetaDataFrameStats stats;
    for (auto _ : state) {
        computeBrightnessStats(luma.data(), w, h, 3, pass, stats);
        benchmark::DoNotOptimize(stats.standardDeviation);
    }
    state.SetLabel(pass == BrightnessPass::kFast ? "fast" : "portable");
}

void frameSizes(benchmark::internal::Benchmark* b) {
    for (int variant : {0, 1, 2}) {
        b->Args({640, 480, variant});
        b->Args({1280, 720, variant});
        b->Args({1920, 1080, variant});
    }
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_DenoiserBlockAnalysis)->Apply(frameSizes);
BENCHMARK(BM_DenoiserBlends)->Apply(frameSizes);
BENCHMARK(BM_PackedToI420)->Apply(frameSizes);
BENCHMARK(BM_BrightnessStats)->Apply(frameSizes);

}  // namespace
}  // namespace video
}  // namespace kelvo

BENCHMARK_MAIN();
