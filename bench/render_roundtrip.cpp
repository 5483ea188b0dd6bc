// Buffer round trip through the GPU convertors: I420 planes uploaded and
// converted to RGB, read back and converted to I420 again.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "frame/i420_video_frame.h"
#include "gpu/framebuffer_cache.h"
#include "gpu/gl_fbo.h"
#include "gpu/gpu_image_context.h"
#include "render/effect_yuv_input_convertor.h"
#include "render/effect_yuv_output_convertor.h"

namespace kelvo {
namespace video {
namespace {

std::shared_ptr<I420VideoFrame> makeFrame(int width, int height) {
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
    frame->allocateI420(width, height, width, (width + 1) / 2, (width + 1) / 2);
    frame->colorRange = 0;
    frame->colorMatrix = 4;
    return frame;
}

void BM_RenderRoundTrip(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    if (GPUImageContext::initFailed()) {
        state.SkipWithError("no GL context");
        return;
    }
    GPUImageContext::makeCurrent();
    {
        auto source = makeFrame(width, height);
        for (int row = 0; row < height; ++row) {
            for (int x = 0; x < width; ++x) {
                source->buffer(0)[row * source->stride(0) + x] =
                    static_cast<uint8_t>(16 + (x + row) % 220);
            }
        }
        for (int plane = 1; plane < 3; ++plane) {
            for (int i = 0; i < source->stride(plane) * ((height + 1) / 2); ++i) {
                source->buffer(plane)[i] = static_cast<uint8_t>(96 + i % 64);
            }
        }
        auto target = makeFrame(width, height);
        auto framebuffer = FramebufferCache::instance()->acquire(width, height);

        EffectYUVInputConvertor input;
        EffectYUVOutputConvertor output;
        input.setEnable(true);
        output.setEnable(true);
        input.setOutputFBO(framebuffer);
        output.setOutputFBO(framebuffer);
        output.setInputTexture(framebuffer->texture);

        for (auto _ : state) {
            if (input.Draw(source) != 0 || output.Draw(target) != 0) {
                state.SkipWithError("conversion failed");
                break;
            }
            benchmark::DoNotOptimize(target->buffer(0)[0]);
        }
        state.SetItemsProcessed(state.iterations());
        framebuffer->dropUse();
        FramebufferCache::instance()->purge();
    }
    GPUImageContext::releaseCurrent();
}

BENCHMARK(BM_RenderRoundTrip)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace video
}  // namespace kelvo

BENCHMARK_MAIN();
