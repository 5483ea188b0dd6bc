// Milliseconds per frame of each CPU backend kernel, and of the four in a
// row (input conversion, low light, colour enhancement, output conversion),
// at 640x480, 1280x720 and 1920x1080 on 1 and 2 threads of the worker pool;
// colour enhancement also by its exact row, and the cost of its cube's
// rebuild.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/bench_util.h"
#include "effects/color_enhance/cpu/color_enhance.h"
#include "effects/lowlight/cpu/lowlight_enhance.h"
#include "cpu/worker_pool.h"
#include "cpu/yuv_input.h"
#include "cpu/yuv_output.h"
#include "effects/lut_loader.h"

namespace kelvo {
namespace video {
namespace {

// BT.601 limited, both ways.
const YUVInputRowParams kDecode = {
    {1.164384f, 0.0f, 1.596027f, 1.164384f, -0.391762f, -0.812968f, 1.164384f, 2.017232f, 0.0f},
    16.0f / 255.0f};
const YUVFixedCoeffs kEncode = {66, 129, 25, 4224, -38, -74, 112, 112, -94, -18};

struct Pictures {
    int width, height, chromaWidth;
    std::vector<uint8_t> y, u, v;
    std::vector<uint8_t> image0, image1;

    Pictures(int w, int h)
        : width(w), height(h), chromaWidth((w + 1) / 2), y(size_t(w) * h),
          u(size_t(chromaWidth) * ((h + 1) / 2)), v(u.size()), image0(size_t(w) * h * 4),
          image1(image0.size()) {
        bench::fillCameraI420(y.data(), w, u.data(), chromaWidth, v.data(), chromaWidth, w, h);
    }
    ImageRGBA8 view(std::vector<uint8_t>& image) {
        return {image.data(), 4 * width, width, height};
    }
    ConstImageRGBA8 cview(const std::vector<uint8_t>& image) const {
        return {image.data(), 4 * width, width, height};
    }
};

// CPU time is the whole process's (all pool threads); on a shared machine it
// is the steadier figure.
void setUp(benchmark::internal::Benchmark* b) {
    bench::frameSizesByThreads(b);
    b->ArgNames({"w", "h", "threads"});
}

template <class Step>
void run(benchmark::State& state, Step step, int warmFrames = 0) {
    Pictures pictures(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    WorkerPool pool(static_cast<int>(state.range(2)));
    YUVInput input;
    input.convert(pictures.y.data(), pictures.width, pictures.u.data(), pictures.chromaWidth,
                  pictures.v.data(), pictures.chromaWidth, pictures.height / 2, kDecode,
                  pictures.view(pictures.image0), &pool);
    for (int i = 0; i < warmFrames; ++i) step(pictures, pool, input);
    for (auto _ : state) {
        step(pictures, pool, input);
    }
    bench::countFrames(state);
}

void setSkinTable(ColorEnhance& e) {
    std::shared_ptr<ARGBFrame> table = loadLutTable(103);
    if (table && !table->empty()) {
        e.setSkinTable({table->data(), table->stride(), table->width(), table->height()});
    }
}

ColorEnhance& colorEnhance() {
    static ColorEnhance effect = [] {
        ColorEnhance e;
        setSkinTable(e);
        return e;
    }();
    return effect;
}

void BM_YUVInput(benchmark::State& state) {
    run(state, [](Pictures& p, WorkerPool& pool, YUVInput& input) {
        input.convert(p.y.data(), p.width, p.u.data(), p.chromaWidth, p.v.data(), p.chromaWidth,
                      p.height / 2, kDecode, p.view(p.image0), &pool);
    });
}

void BM_LowlightEnhance(benchmark::State& state) {
    LowlightEnhance lowlight;
    run(state, [&](Pictures& p, WorkerPool& pool, YUVInput&) {
        lowlight.process(p.cview(p.image0), p.view(p.image1), 0.2f, &pool);
    });
}

// A still scene, warm: 64 frames first, over which sampling meets the
// picture's marked cells everywhere and remembers their exact results.
void BM_ColorEnhance(benchmark::State& state) {
    ColorEnhance color;
    setSkinTable(color);
    run(
        state,
        [&](Pictures& p, WorkerPool& pool, YUVInput&) {
            color.process(p.cview(p.image0), p.view(p.image1), ColorEnhanceParams(), &pool);
        },
        64);
}

// Before the colour cube: every pixel through the exact row.
void BM_ColorEnhanceExact(benchmark::State& state) {
    ColorEnhance color(colorEnhanceRows(), ColorEnhanceMethod::kExact);
    setSkinTable(color);
    run(state, [&](Pictures& p, WorkerPool& pool, YUVInput&) {
        color.process(p.cview(p.image0), p.view(p.image1), ColorEnhanceParams(), &pool);
    });
}

// A settings change: the cube rebuilt, then one frame.
void BM_ColorEnhanceCubeRebuild(benchmark::State& state) {
    ColorEnhance color;
    setSkinTable(color);
    ColorEnhanceParams params;
    Pictures p(16, 16);
    WorkerPool pool(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        params.strength = params.strength == 0.5f ? 0.6f : 0.5f;
        color.process(p.cview(p.image0), p.view(p.image1), params, &pool);
    }
}

void BM_YUVOutput(benchmark::State& state) {
    YUVOutput output;
    run(state, [&](Pictures& p, WorkerPool& pool, YUVInput&) {
        output.convert(p.cview(p.image0), p.y.data(), p.width, p.u.data(), p.chromaWidth,
                       p.v.data(), p.chromaWidth, kEncode, &pool);
    });
}

// The four passes as a frame with low light and colour enhancement meets
// them, alternating between two images as the GL chain does.
void BM_Chain(benchmark::State& state) {
    LowlightEnhance lowlight;
    ColorEnhance& color = colorEnhance();
    YUVOutput output;
    run(state, [&](Pictures& p, WorkerPool& pool, YUVInput& input) {
        input.convert(p.y.data(), p.width, p.u.data(), p.chromaWidth, p.v.data(), p.chromaWidth,
                      p.height / 2, kDecode, p.view(p.image0), &pool);
        lowlight.process(p.cview(p.image0), p.view(p.image1), 0.2f, &pool);
        color.process(p.cview(p.image1), p.view(p.image0), ColorEnhanceParams(), &pool);
        output.convert(p.cview(p.image0), p.y.data(), p.width, p.u.data(), p.chromaWidth,
                       p.v.data(), p.chromaWidth, kEncode, &pool);
    });
}

BENCHMARK(BM_YUVInput)->Apply(setUp);
BENCHMARK(BM_LowlightEnhance)->Apply(setUp);
BENCHMARK(BM_ColorEnhance)->Apply(setUp);
BENCHMARK(BM_ColorEnhanceExact)->Apply(setUp);
BENCHMARK(BM_ColorEnhanceCubeRebuild)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_YUVOutput)->Apply(setUp);
BENCHMARK(BM_Chain)->Apply(setUp);

}  // namespace
}  // namespace video
}  // namespace kelvo

BENCHMARK_MAIN();
