// Milliseconds per frame of colour enhancement and of low-light enhancement,
// each alone: one full-size GPU pass, ended by a one-pixel readback so the
// driver's queued work is counted.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/bench_util.h"
#include "detect/metadata_frame_stats.h"
#include "effects/color_enhance/gl/effect_color_enhance.h"
#include "effects/lowlight/gl/effect_lowlight_enhance.h"
#include "frame/i420_video_frame.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"
#include "gpu/gpu_image_context.h"

namespace kelvo {
namespace video {
namespace {

// Pseudo-random texture with channel values in [base, base + spread).
std::shared_ptr<GLTexture> makeInput(int width, int height, int base, int spread) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    uint32_t seed = 1;
    for (size_t i = 0; i < pixels.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        pixels[i] = (i % 4 == 3) ? 255 : static_cast<uint8_t>(base + (seed >> 24) % spread);
    }
    auto input = std::make_shared<GLTexture>();
    input->Load(pixels.data(), 0, width, height, GL_RGBA);
    return input;
}

template <typename Effect>
void runDraws(benchmark::State& state, Effect& effect, int base, int spread,
              const std::shared_ptr<I420VideoFrame>& frame) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    auto output = std::make_shared<GLFBO>();
    output->InitFBO(width, height);
    effect.setEnable(true);
    effect.setInputTexture(makeInput(width, height, base, spread));
    effect.setOutputFBO(output);
    uint8_t pixel[4];
    // The driver compiles shaders at their first draw; keep that out.
    effect.Draw(frame);
    glFinish();
    for (auto _ : state) {
        if (effect.Draw(frame) != kDrawDone) {
            state.SkipWithError("effect did not draw");
            break;
        }
        output->bindFrameBuffer();
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        output->unbindFrameBuffer();
        benchmark::DoNotOptimize(pixel[0]);
    }
    bench::countFrames(state);
    output->UnInitFBO();
}

void BM_ColorEnhanceDraw(benchmark::State& state) {
    GPUImageContext::makeCurrent();
    if (GPUImageContext::initFailed()) {
        state.SkipWithError("no GL context");
        return;
    }
    {
        EffectColorEnhance effect;
        runDraws(state, effect, 40, 200, nullptr);
    }
    GPUImageContext::releaseCurrent();
}

void BM_LowlightEnhanceDraw(benchmark::State& state) {
    GPUImageContext::makeCurrent();
    if (GPUImageContext::initFailed()) {
        state.SkipWithError("no GL context");
        return;
    }
    {
        EffectLowlightEnhance effect;
        effect.setMode(1);
        std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
        auto stats = std::make_shared<MetaDataFrameStats>();
        stats->logAverage = 0.15f;
        frame->setMetadata(kMetadataKindFrameStats, stats);
        runDraws(state, effect, 0, 90, frame);
    }
    GPUImageContext::releaseCurrent();
}

BENCHMARK(BM_ColorEnhanceDraw)->Apply(bench::frameSizes);

BENCHMARK(BM_LowlightEnhanceDraw)->Apply(bench::frameSizes);

}  // namespace
}  // namespace video
}  // namespace kelvo

BENCHMARK_MAIN();
