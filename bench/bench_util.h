// Pieces shared by the benchmark programs.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <utility>

namespace kelvo {
namespace video {
namespace bench {

// 640x480, 1280x720 and 1920x1080, in milliseconds of wall time: the GL
// driver renders on threads of its own, which only the wall clock sees.
// CPU time is that of the whole process, for the same reason; on a shared
// machine it is the steadier of the two.
inline void frameSizes(benchmark::internal::Benchmark* b) {
    b->Args({640, 480})
        ->Args({1280, 720})
        ->Args({1920, 1080})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
}

// frameSizes, each on 1 and 2 threads (a third argument).
inline void frameSizesByThreads(benchmark::internal::Benchmark* b) {
    for (auto size : {std::make_pair(640, 480), std::make_pair(1280, 720),
                      std::make_pair(1920, 1080)}) {
        for (int threads : {1, 2}) b->Args({size.first, size.second, threads});
    }
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
}

// Frames per second over the benchmark's wall time.
inline void countFrames(benchmark::State& state) {
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// A camera-like I420 picture: smooth gradients with a little noise, so that
// neither the denoiser nor the detectors see a degenerate plane.
inline void fillCameraI420(uint8_t* y, int strideY, uint8_t* u, int strideU, uint8_t* v,
                           int strideV, int width, int height, uint32_t seed = 12345) {
    auto noise = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>((seed >> 24) % 9) - 4;
    };
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x) {
            const int value = 40 + (x * 160 / width + row * 40 / height) + noise();
            y[row * strideY + x] = static_cast<uint8_t>(value);
        }
    }
    for (int row = 0; row < (height + 1) / 2; ++row) {
        for (int x = 0; x < (width + 1) / 2; ++x) {
            u[row * strideU + x] = static_cast<uint8_t>(110 + x * 20 / width);
            v[row * strideV + x] = static_cast<uint8_t>(140 + row * 20 / height);
        }
    }
}

}  // namespace bench
}  // namespace video
}  // namespace kelvo
