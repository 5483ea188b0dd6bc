// What the kelvoenhance element adds to processFrame: the same I420 frames
// and settings (colour enhancement and beauty) through the engine directly,
// through the element with the buffer tightly packed and with padded
// strides; and the element's own path alone (both effects selected but
// disabled, so that the engine hands each buffer straight back), where what
// padding costs is not hidden by the engine's milliseconds.
#include <benchmark/benchmark.h>
#include <gst/check/gstharness.h>
#include <gst/video/video.h>

#include <memory>
#include <string>
#include <vector>

#include "kelvo/video_process_engine.h"

namespace {

using namespace kelvo::video;

void fill(uint8_t* data, size_t size) {
    uint32_t seed = 12345;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        data[i] = static_cast<uint8_t>(96 + (i % 61) + (seed >> 29));
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    // Process CPU time: the GL driver renders on threads of its own, and on a
    // shared machine it is steadier than the wall clock.
    b->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
}

void BM_ProcessFrame(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    std::vector<uint8_t> frame(w * h * 3 / 2);
    fill(frame.data(), frame.size());
    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    if (engine->init("") != 0) return state.SkipWithError("init failed");
    engine->setVideoEffects({kEffectColorEnhance, kEffectBeauty});
    engine->setParameter("color_enhance_option", R"({"enable":1})");
    engine->setParameter("beauty_effect_option", R"({"enable":1})");
    auto run = [&] {
        return engine->processFrame(kPixelFormatI420, w, h, frame.data(),
                                    static_cast<int>(frame.size()), 0, 0, 4, 0);
    };
    for (int i = 0; i < 3; ++i) run();  // chain and shaders outside the clock
    for (auto _ : state)
        if (run() != 0) return state.SkipWithError("processFrame failed");
    engine->release();
}

// padding 0: GStreamer's own layout, which is the tight one at these sizes.
void runElement(benchmark::State& state, int padding, bool effectsOn = true) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    gst_init(nullptr, nullptr);
    gst_registry_scan_path(gst_registry_get(), KELVO_GST_PLUGIN_DIR);
    GstHarness* harness = gst_harness_new_parse("kelvoenhance effects=color,beauty");
    if (!effectsOn)
        gst_harness_set(harness, "kelvoenhance", "params",
                        R"({"color_enhance_option":{"enable":0},)"
                        R"("beauty_effect_option":{"enable":0}})",
                        nullptr);
    const std::string caps =
        "video/x-raw,format=I420,colorimetry=bt601,framerate=30/1,width=" + std::to_string(w) +
        ",height=" + std::to_string(h);
    gst_harness_set_src_caps_str(harness, caps.c_str());
    GstVideoInfo info;
    GstCaps* c = gst_caps_from_string(caps.c_str());
    gst_video_info_from_caps(&info, c);
    gst_caps_unref(c);
    gsize size = 0;
    for (int p = 0; p < 3; ++p) {
        info.stride[p] += padding;
        info.offset[p] = size;
        size += static_cast<gsize>(info.stride[p]) * GST_VIDEO_INFO_COMP_HEIGHT(&info, p);
    }
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    fill(map.data, map.size);
    gst_buffer_unmap(buffer, &map);
    if (padding)
        gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_I420, w,
                                       h, 3, info.offset, info.stride);
    // The buffer comes back as it went in, so it is pushed again: no
    // allocation or copy on the clock that the element would not make.
    for (int i = 0; i < 3; ++i) buffer = gst_harness_push_and_pull(harness, buffer);
    for (auto _ : state) {
        buffer = gst_harness_push_and_pull(harness, buffer);
        if (!buffer) return state.SkipWithError("push failed");
    }
    gst_buffer_unref(buffer);
    gst_harness_teardown(harness);
}

void BM_ElementInPlace(benchmark::State& state) { runElement(state, 0); }
void BM_ElementPadded(benchmark::State& state) { runElement(state, 64); }
void BM_ElementPathInPlace(benchmark::State& state) { runElement(state, 0, false); }
void BM_ElementPathPadded(benchmark::State& state) { runElement(state, 64, false); }

BENCHMARK(BM_ProcessFrame)->Apply(sizes);
BENCHMARK(BM_ElementInPlace)->Apply(sizes);
BENCHMARK(BM_ElementPadded)->Apply(sizes);
BENCHMARK(BM_ElementPathInPlace)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ElementPathPadded)->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
