// Milliseconds per frame of the beauty effect alone: five GPU passes, ended
// by a one-pixel readback so the driver's queued work is counted.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/bench_util.h"
#include "effects/beauty/gl/effect_gpu_beauty.h"
#include "frame/i420_video_frame.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"
#include "gpu/gpu_image_context.h"

namespace kelvo {
namespace video {
namespace {

void BM_BeautyDraw(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    GPUImageContext::makeCurrent();
    if (GPUImageContext::initFailed()) {
        state.SkipWithError("no GL context");
        return;
    }
    {
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
        uint32_t seed = 1;
        for (size_t i = 0; i < pixels.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            pixels[i] = (i % 4 == 3) ? 255 : static_cast<uint8_t>(120 + (seed >> 24) % 100);
        }
        auto input = std::make_shared<GLTexture>();
        input->Load(pixels.data(), 0, width, height, GL_RGBA);
        auto output = std::make_shared<GLFBO>();
        output->InitFBO(width, height);

        EffectGPUBeauty effect;
        effect.setEnable(true);
        effect.setInputTexture(input);
        effect.setOutputFBO(output);
        std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
        uint8_t pixel[4];
        // The driver compiles shaders at their first draw; keep that out.
        effect.Draw(frame);
        glFinish();
        for (auto _ : state) {
            effect.Draw(frame);
            output->bindFrameBuffer();
            glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
            output->unbindFrameBuffer();
            benchmark::DoNotOptimize(pixel[0]);
        }
        bench::countFrames(state);
        output->UnInitFBO();
    }
    GPUImageContext::releaseCurrent();
}

BENCHMARK(BM_BeautyDraw)->Apply(bench::frameSizes);

}  // namespace
}  // namespace video
}  // namespace kelvo

BENCHMARK_MAIN();
