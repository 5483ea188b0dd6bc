// The GPU convertors: I420 planes uploaded and converted to RGB (waited for
// with glFinish), the RGB framebuffer read back and converted to I420, and
// both in turn as a round trip.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdint>
#include <memory>

#include "bench/bench_util.h"
#include "frame/i420_video_frame.h"
#include "gpu/framebuffer_cache.h"
#include "gpu/gl_fbo.h"
#include "gpu/gpu_image_context.h"
#include "render/gl/effect_yuv_input_convertor.h"
#include "render/gl/effect_yuv_output_convertor.h"

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

// Which convertors an iteration runs.
enum Stages { kUpload = 1, kReadback = 2, kRoundTrip = 3 };

void runConvertors(benchmark::State& state, int stages) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    if (GPUImageContext::initFailed()) {
        state.SkipWithError("no GL context");
        return;
    }
    GPUImageContext::makeCurrent();
    {
        auto source = makeFrame(width, height);
        bench::fillCameraI420(source->buffer(0), source->stride(0), source->buffer(1),
                              source->stride(1), source->buffer(2), source->stride(2), width,
                              height);
        auto target = makeFrame(width, height);
        auto framebuffer = FramebufferCache::instance()->acquire(width, height);

        EffectYUVInputConvertor input;
        EffectYUVOutputConvertor output;
        input.setEnable(true);
        output.setEnable(true);
        input.setOutputFBO(framebuffer);
        output.setOutputFBO(framebuffer);
        output.setInputTexture(framebuffer->texture);

        // Shaders compile at their first draw, and the readback needs a
        // picture; both before the clock starts.
        if (input.Draw(source) != 0 || output.Draw(target) != 0) {
            state.SkipWithError("conversion failed");
        }
        glFinish();
        for (auto _ : state) {
            if ((stages & kUpload) && input.Draw(source) != 0) {
                state.SkipWithError("conversion failed");
                break;
            }
            if (stages == kUpload) {
                glFinish();
            }
            if ((stages & kReadback) && output.Draw(target) != 0) {
                state.SkipWithError("conversion failed");
                break;
            }
            benchmark::DoNotOptimize(target->buffer(0)[0]);
        }
        bench::countFrames(state);
        framebuffer->dropUse();
        FramebufferCache::instance()->purge();
    }
    GPUImageContext::releaseCurrent();
}

void BM_YUVUploadToRGB(benchmark::State& state) { runConvertors(state, kUpload); }
void BM_ReadbackToI420(benchmark::State& state) { runConvertors(state, kReadback); }
void BM_RenderRoundTrip(benchmark::State& state) { runConvertors(state, kRoundTrip); }

BENCHMARK(BM_YUVUploadToRGB)->Apply(bench::frameSizes);
BENCHMARK(BM_ReadbackToI420)->Apply(bench::frameSizes);
BENCHMARK(BM_RenderRoundTrip)->Apply(bench::frameSizes);

}  // namespace
}  // namespace video
}  // namespace kelvo

BENCHMARK_MAIN();
