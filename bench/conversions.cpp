// Milliseconds per frame of the caller-format conversions that processFrame
// runs around the pipeline: a buffer of each pixel format into the frame's
// I420 planes and back, with the colour codes processFrame defaults to; and,
// as a reference, libyuv's own I420 <-> ABGR conversions.
// Arguments: width, height, pixel-format id (1..8).
#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/bench_util.h"
#include "convert/buffer_layout.h"
#include "convert/frame_conversion.h"
#include "frame/i420_video_frame.h"

namespace kelvo {
namespace video {
namespace {

const char* const kFormatNames[] = {"",     "I420", "I422", "NV21", "NV12",
                                    "YV12", "RGBA", "ARGB", "BGRA"};

std::shared_ptr<I420VideoFrame> makeFrame(int width, int height) {
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
    frame->allocate(width, height, width, (width + 1) / 2, (width + 1) / 2, 1);
    bench::fillCameraI420(frame->buffer(0), frame->stride(0), frame->buffer(1), frame->stride(1),
                          frame->buffer(2), frame->stride(2), width, height);
    frame->colorRange = 1;
    frame->colorMatrix = 4;
    return frame;
}

struct Fixture {
    int width;
    int height;
    int type;
    std::shared_ptr<I420VideoFrame> frame;
    std::vector<uint8_t> buffer;
};

// A frame and a buffer of the format holding the same picture.
bool setUp(benchmark::State& state, Fixture& f) {
    f.width = static_cast<int>(state.range(0));
    f.height = static_cast<int>(state.range(1));
    const int format = static_cast<int>(state.range(2));
    f.type = videoTypeFromFormat(format);
    state.SetLabel(kFormatNames[format]);
    f.frame = makeFrame(f.width, f.height);
    f.buffer.resize(static_cast<size_t>(requiredBufferSize(f.type, f.width, f.height)));
    if (convertFrameToBuffer(*f.frame, f.type, 0, f.buffer.data()) != 0) {
        state.SkipWithError("conversion failed");
        return false;
    }
    return true;
}

void BM_BufferToFrame(benchmark::State& state) {
    Fixture f;
    if (!setUp(state, f)) return;
    for (auto _ : state) {
        if (convertBufferToFrame(f.type, f.buffer.data(), 0, 0, f.width, f.height, f.buffer.size(),
                                 0, *f.frame, 1, 4) != 0) {
            state.SkipWithError("conversion failed");
            break;
        }
        benchmark::DoNotOptimize(f.frame->buffer(0)[0]);
    }
    bench::countFrames(state);
}

void BM_FrameToBuffer(benchmark::State& state) {
    Fixture f;
    if (!setUp(state, f)) return;
    for (auto _ : state) {
        if (convertFrameToBuffer(*f.frame, f.type, 0, f.buffer.data()) != 0) {
            state.SkipWithError("conversion failed");
            break;
        }
        benchmark::DoNotOptimize(f.buffer[0]);
    }
    bench::countFrames(state);
}

void BM_LibyuvI420ToABGR(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    auto frame = makeFrame(width, height);
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    for (auto _ : state) {
        libyuv::I420ToABGR(frame->buffer(0), frame->stride(0), frame->buffer(1), frame->stride(1),
                           frame->buffer(2), frame->stride(2), rgba.data(), width * 4, width,
                           height);
        benchmark::DoNotOptimize(rgba[0]);
    }
    bench::countFrames(state);
}

void BM_LibyuvABGRToI420(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    auto frame = makeFrame(width, height);
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    libyuv::I420ToABGR(frame->buffer(0), frame->stride(0), frame->buffer(1), frame->stride(1),
                       frame->buffer(2), frame->stride(2), rgba.data(), width * 4, width, height);
    for (auto _ : state) {
        libyuv::ABGRToI420(rgba.data(), width * 4, frame->buffer(0), frame->stride(0),
                           frame->buffer(1), frame->stride(1), frame->buffer(2), frame->stride(2),
                           width, height);
        benchmark::DoNotOptimize(frame->buffer(0)[0]);
    }
    bench::countFrames(state);
}

void sizesAndFormats(benchmark::internal::Benchmark* b) {
    for (const auto& size : {std::pair<int, int>{640, 480}, {1280, 720}, {1920, 1080}}) {
        for (int format = 1; format <= 8; ++format) {
            b->Args({size.first, size.second, format});
        }
    }
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
}

BENCHMARK(BM_BufferToFrame)->Apply(sizesAndFormats);
BENCHMARK(BM_FrameToBuffer)->Apply(sizesAndFormats);
BENCHMARK(BM_LibyuvI420ToABGR)->Apply(bench::frameSizes);
BENCHMARK(BM_LibyuvABGRToI420)->Apply(bench::frameSizes);

}  // namespace
}  // namespace video
}  // namespace kelvo

BENCHMARK_MAIN();
