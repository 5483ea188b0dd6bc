// Milliseconds per frame of the CPU beauty effect as the engine runs it (the
// gradings read from one colour cube): on one thread with each row set, on
// two threads, per stage with the fastest rows; and with both tables read per
// pixel instead, or none.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "effects/beauty/cpu/beauty.h"
#include "effects/lut_loader.h"

namespace kelvo {
namespace video {
namespace {

struct Frame {
    int width, height;
    std::vector<uint8_t> src, dst;
    Frame(int w, int h)
        : width(w), height(h), src(static_cast<size_t>(w) * h * 4), dst(src.size()) {
        uint32_t seed = 1;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                seed = seed * 1664525u + 1013904223u;
                uint8_t* p = &src[(static_cast<size_t>(y) * w + x) * 4];
                const int noise = static_cast<int>((seed >> 24) % 9) - 4;
                // A warm face-like middle over cooler gradients.
                const bool face =
                    (x - w / 2) * (x - w / 2) * 4 + (y - h / 2) * (y - h / 2) * 9 < w * h;
                p[0] = static_cast<uint8_t>((face ? 200 : 60 + 150 * x / w) + noise);
                p[1] = static_cast<uint8_t>((face ? 150 : 70 + 120 * y / h) + noise);
                p[2] = static_cast<uint8_t>((face ? 120 : 180) + noise);
                p[3] = 255;
            }
        }
    }
    ConstImageRGBA8 in() const { return {src.data(), width * 4, width, height}; }
    ImageRGBA8 out() { return {dst.data(), width * 4, width, height}; }
};

bool loadTables(Beauty* beauty) {
    auto whiten = loadLutTable(kWhiteningLutId);
    auto ruddy = loadLutTable(kRuddyLutId);
    return whiten && ruddy &&
           beauty->setTables({whiten->data(), whiten->stride(), whiten->width(), whiten->height()},
                             {ruddy->data(), ruddy->stride(), ruddy->width(), ruddy->height()});
}

// Whole frames of the size the benchmark names; `tables` loads the gradings.
void processFrames(benchmark::State& state, Beauty& beauty, bool tables) {
    if (tables && !loadTables(&beauty)) {
        state.SkipWithError("tables missing");
        return;
    }
    Frame frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    beauty.process(frame.in(), frame.out());
    for (auto _ : state) {
        beauty.process(frame.in(), frame.out());
        benchmark::DoNotOptimize(frame.dst.data());
    }
    bench::countFrames(state);
}

void BM_CpuBeauty(benchmark::State& state, const CpuLevel& level) {
    if ((cpuFlags() & level.flags) != level.flags) {
        state.SkipWithError("row set not available on this CPU");
        return;
    }
    Beauty beauty(beautyRowsFor(level.flags), /*gradingCube=*/true);
    processFrames(state, beauty, true);
}
BENCHMARK_CAPTURE(BM_CpuBeauty, portable, kCpuLevels[0])->Apply(bench::frameSizes);
BENCHMARK_CAPTURE(BM_CpuBeauty, sse2, kCpuLevels[1])->Apply(bench::frameSizes);
BENCHMARK_CAPTURE(BM_CpuBeauty, avx2, kCpuLevels[2])->Apply(bench::frameSizes);

// The mix level on the fastest rows (level 1 should cost at most half as much
// again as level 0).
void BM_CpuBeautyLevel(benchmark::State& state) {
    Beauty beauty(beautyRows(), /*gradingCube=*/true);
    BeautyParameters parameters;
    parameters.level = static_cast<int>(state.range(2));
    beauty.setParameters(parameters);
    processFrames(state, beauty, true);
}
BENCHMARK(BM_CpuBeautyLevel)
    ->ArgNames({"w", "h", "level"})
    ->ArgsProduct({{1280}, {720}, {kBeautyLevelClassic, kBeautyLevelSelective}})
    ->Unit(benchmark::kMillisecond);

// Both tables read per pixel, as the GL path reads them, in place of the cube.
void BM_CpuBeautyTables(benchmark::State& state) {
    Beauty beauty(beautyRows(), /*gradingCube=*/false);
    processFrames(state, beauty, true);
}
BENCHMARK(BM_CpuBeautyTables)->Apply(bench::frameSizes);

// A change of redness or lightness: the grading cube rebuilt.
void BM_CpuBeautyGradingCubeRebuild(benchmark::State& state) {
    Frame frame(16, 16);
    Beauty beauty(beautyRows(), true);
    if (!loadTables(&beauty)) {
        state.SkipWithError("tables missing");
        return;
    }
    BeautyParameters parameters;
    for (auto _ : state) {
        parameters.lightness = parameters.lightness == 0.3f ? 0.4f : 0.3f;
        beauty.setParameters(parameters);
        beauty.process(frame.in(), frame.out());
    }
}
BENCHMARK(BM_CpuBeautyGradingCubeRebuild)->Unit(benchmark::kMillisecond);

// The gradings cost most of the mix; without tables they are skipped.
void BM_CpuBeautyWithoutTables(benchmark::State& state) {
    Beauty beauty;
    processFrames(state, beauty, false);
}
BENCHMARK(BM_CpuBeautyWithoutTables)->Apply(bench::frameSizes);

// Each stage split into two bands, the second on a helper thread (started
// per stage here; the engine's pool keeps its threads).
void BM_CpuBeautyTwoBands(benchmark::State& state) {
    Frame frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Beauty beauty(beautyRows(), /*gradingCube=*/true);
    if (!loadTables(&beauty)) {
        state.SkipWithError("tables missing");
        return;
    }
    for (auto _ : state) {
        beauty.begin(frame.in(), frame.out());
        for (int s = 0; s < Beauty::kStageCount; ++s) {
            const auto stage = static_cast<Beauty::Stage>(s);
            const int rows = beauty.stageRows(stage);
            std::thread helper([&] { beauty.runStage(stage, rows / 2, rows); });
            beauty.runStage(stage, 0, rows / 2);
            helper.join();
        }
        benchmark::DoNotOptimize(frame.dst.data());
    }
    bench::countFrames(state);
}
BENCHMARK(BM_CpuBeautyTwoBands)->Apply(bench::frameSizes);

void BM_CpuBeautyStage(benchmark::State& state) {
    Frame frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const auto stage = static_cast<Beauty::Stage>(state.range(2));
    Beauty beauty(beautyRows(), /*gradingCube=*/true);
    if (!loadTables(&beauty)) {
        state.SkipWithError("tables missing");
        return;
    }
    beauty.process(frame.in(), frame.out());
    for (auto _ : state) {
        beauty.runStage(stage, 0, beauty.stageRows(stage));
        benchmark::DoNotOptimize(frame.dst.data());
    }
}
BENCHMARK(BM_CpuBeautyStage)
    ->ArgNames({"w", "h", "stage"})
    ->ArgsProduct({{1280},
                   {720},
                   {Beauty::kStageDownsize, Beauty::kStageSoften, Beauty::kStageSpread,
                    Beauty::kStageMix}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace video
}  // namespace kelvo

BENCHMARK_MAIN();
