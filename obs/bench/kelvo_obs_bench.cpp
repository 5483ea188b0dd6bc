// What the OBS async filter adds to processFrame: the frame adapter's way
// in and back (prepare + finish) for frames in OBS's own layout, and, for
// scale, processFrame itself on the CPU backend (the filter's default) with
// the four effects, which the filter's worker thread spends per frame.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "frame_adapter.h"

namespace {

using namespace kelvo::video;
using kelvo::obs::FrameAdapter;

// A frame as OBS's video_frame_init lays it out (planes back to back; at
// these sizes its 32-byte alignment adds nothing), `pad` bytes more per row.
struct ObsFrame {
    std::vector<uint8_t> bytes;
    obs_source_frame frame = {};

    ObsFrame(video_format format, uint32_t w, uint32_t h, uint32_t pad) {
        const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
        struct {
            uint32_t rowBytes, rows;
        } planes[3] = {};
        int n = 1;
        switch (format) {
            case VIDEO_FORMAT_I420:
                planes[0] = {w, h}, planes[1] = planes[2] = {cw, ch}, n = 3;
                break;
            case VIDEO_FORMAT_NV12:
                planes[0] = {w, h}, planes[1] = {2 * cw, ch}, n = 2;
                break;
            case VIDEO_FORMAT_YUY2:
                planes[0] = {4 * cw, h};
                break;
            default:
                planes[0] = {4 * w, h};
                break;
        }
        size_t size = 0;
        for (int i = 0; i < n; ++i)
            size += static_cast<size_t>(planes[i].rowBytes + pad) * planes[i].rows;
        bytes.resize(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(64 + i % 97);
        size_t offset = 0;
        for (int i = 0; i < n; ++i) {
            frame.data[i] = bytes.data() + offset;
            frame.linesize[i] = planes[i].rowBytes + pad;
            offset += static_cast<size_t>(frame.linesize[i]) * planes[i].rows;
        }
        frame.format = format;
        frame.width = w;
        frame.height = h;
        video_format_get_parameters(VIDEO_CS_601, VIDEO_RANGE_PARTIAL, frame.color_matrix,
                                    frame.color_range_min, frame.color_range_max);
    }
};

void adapterOverhead(benchmark::State& state, video_format format, uint32_t pad) {
    ObsFrame f(format, static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)),
               pad);
    FrameAdapter adapter;
    kelvo_frame in;
    for (auto _ : state) {
        if (!adapter.prepare(f.frame, &in)) return state.SkipWithError("unsupported");
        benchmark::DoNotOptimize(in.planes[0]);
        adapter.finish(&f.frame);
        benchmark::ClobberMemory();
    }
}

void processFrame(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    ObsFrame f(VIDEO_FORMAT_I420, w, h, 0);
    kelvo::integration::Engine engine;
    if (engine.create(R"({"backend":"cpu"})", nullptr) != 0)
        return state.SkipWithError("init failed");
    engine.setEffects(
        {kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance, kEffectBeauty});
    engine.setParameter("video_denoiser_option", R"({"enable":1,"mode":0})", nullptr);
    engine.setParameter("lowlight_enhance_option", R"({"enable":1,"mode":0})", nullptr);
    engine.setParameter("color_enhance_option", R"({"enable":1})", nullptr);
    engine.setParameter("beauty_effect_option", R"({"enable":1})", nullptr);
    FrameAdapter adapter;
    // The colour cube learns the scene over its first frames.
    for (int i = 0; i < 64; ++i) adapter.process(engine, &f.frame);
    for (auto _ : state)
        if (adapter.process(engine, &f.frame) != 0) return state.SkipWithError("processing failed");
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

const struct {
    const char* name;
    video_format format;
    uint32_t pad;
} kFormats[] = {
    {"I420", VIDEO_FORMAT_I420, 0},         {"NV12", VIDEO_FORMAT_NV12, 0},
    {"YUY2", VIDEO_FORMAT_YUY2, 0},         {"I420_padded", VIDEO_FORMAT_I420, 64},
    {"BGRA", VIDEO_FORMAT_BGRA, 0},         {"RGBA", VIDEO_FORMAT_RGBA, 0},
    {"BGRA_padded", VIDEO_FORMAT_BGRA, 64},
};

}  // namespace

int main(int argc, char** argv) {
    for (const auto& f : kFormats)
        benchmark::RegisterBenchmark(
            (std::string("BM_AdapterOverhead/") + f.name).c_str(),
            [f](benchmark::State& s) { adapterOverhead(s, f.format, f.pad); })
            ->Apply(sizes);
    benchmark::RegisterBenchmark("BM_ProcessFrameCpuI420", processFrame)->Apply(sizes);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
