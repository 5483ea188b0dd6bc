// Milliseconds per frame of the video denoiser on one thread: a static scene
// with Gaussian-like noise, so that most blocks take the static path and
// the noise estimator is exercised as on camera video. Level 0 filters luma
// only; level 2 (BM_DenoiserDrawStrong) luma and chroma.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bench/bench_util.h"
#include "denoise/effect_video_denoiser.h"
#include "frame/i420_video_frame.h"

namespace kelvo {
namespace video {
namespace {

constexpr int kInputs = 8;

void drawFrames(benchmark::State& state, int level) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    // Luma of several noisy inputs of one static scene; each Draw denoises a
    // fresh copy, since the effect works in place.
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 6.0);
    std::vector<std::vector<uint8_t>> inputs(kInputs);
    for (auto& luma : inputs) {
        luma.resize(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const double v = 40 + (x * 3 + y * 2) % 170 + noise(rng);
                luma[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(v < 0     ? 0
                                                                                : v > 255 ? 255
                                                                                          : v);
            }
    }
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
    if (frame->allocateI420(width, height, width, (width + 1) / 2, (width + 1) / 2) != 0) {
        state.SkipWithError("allocation failed");
        return;
    }
    // Noisy chroma too, one pattern per input, so level 2 has work there.
    std::vector<std::vector<uint8_t>> chroma(kInputs);
    for (auto& c : chroma) {
        c.resize(static_cast<size_t>(frame->allocatedSize(1)));
        for (auto& v : c) v = static_cast<uint8_t>(128 + noise(rng) * 0.7);
    }
    int input = 0;
    auto load = [&](const std::vector<uint8_t>& luma) {
        for (int y = 0; y < height; ++y)
            std::memcpy(frame->buffer(0) + static_cast<size_t>(y) * frame->stride(0),
                        luma.data() + static_cast<size_t>(y) * width, static_cast<size_t>(width));
        const std::vector<uint8_t>& c = chroma[input++ % kInputs];
        std::memcpy(frame->buffer(1), c.data(), c.size());
        std::memcpy(frame->buffer(2), c.data(), c.size());
    };

    EffectVideoDenoiser denoiser;
    denoiser.setEnable(true);
    denoiser.setMode(1);
    denoiser.setLevel(level);
    for (int n = 0; n < kInputs; ++n) {  // settle: reference, estimator history
        load(inputs[n]);
        denoiser.Draw(frame);
    }
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        load(inputs[n++ % kInputs]);
        state.ResumeTiming();
        benchmark::DoNotOptimize(denoiser.Draw(frame));
    }
    bench::countFrames(state);
}
void BM_DenoiserDraw(benchmark::State& state) { drawFrames(state, 0); }
void BM_DenoiserDrawStrong(benchmark::State& state) { drawFrames(state, 2); }
BENCHMARK(BM_DenoiserDraw)->Apply(bench::frameSizes);
BENCHMARK(BM_DenoiserDrawStrong)->Apply(bench::frameSizes);

}  // namespace
}  // namespace video
}  // namespace kelvo

BENCHMARK_MAIN();
