// Milliseconds per frame of the whole processFrame with all four effects on,
// in manual modes so that every one of them runs (low light mode 1, denoiser
// mode 1), on I420 buffers of a still camera scene with sensor-like noise,
// in the steady state and over a fresh engine's first 64 frames; of colour
// enhancement alone in three caller formats; the memory each engine holds;
// and the brightness detection that processFrame runs on each frame.
#include <benchmark/benchmark.h>
#include <libyuv/convert_from.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_util.h"
#include "convert/buffer_layout.h"
#include "convert/frame_conversion.h"
#include "detect/brightness_detect_impl.h"
#include "detect/native_detect_engine.h"
#include "engine/video_process_engine_impl.h"
#include "frame/i420_video_frame.h"

namespace kelvo {
namespace video {
namespace {

constexpr int kInputs = 4;
// Frames a CPU-backend engine runs before it is timed. Its colour cube
// learns which of a scene's cells need exact results over the first frames
// (its sampling grid moves through 64 positions), paying up to a few ms a
// frame meanwhile; the figures are of the steady state after that.
constexpr int kCpuWarmUpFrames = 64;

// Packed I420 buffers of one scene, each with noise of its own, converted to
// the caller's pixel format.
std::vector<std::vector<uint8_t>> cameraBuffers(int width, int height,
                                                int format = kPixelFormatI420) {
    std::vector<std::vector<uint8_t>> buffers(kInputs);
    const int chromaWidth = (width + 1) / 2;
    const size_t lumaSize = static_cast<size_t>(width) * height;
    const size_t chromaSize = static_cast<size_t>(chromaWidth) * ((height + 1) / 2);
    for (int n = 0; n < kInputs; ++n) {
        auto& buffer = buffers[n];
        buffer.resize(lumaSize + 2 * chromaSize);
        bench::fillCameraI420(buffer.data(), width, buffer.data() + lumaSize, chromaWidth,
                              buffer.data() + lumaSize + chromaSize, chromaWidth, width, height,
                              static_cast<uint32_t>(n + 1));
        if (format == kPixelFormatI420) continue;
        const int type = videoTypeFromFormat(format);
        std::vector<uint8_t> converted(
            static_cast<size_t>(requiredBufferSize(type, width, height)));
        libyuv::ConvertFromI420(buffer.data(), width, buffer.data() + lumaSize, chromaWidth,
                                buffer.data() + lumaSize + chromaSize, chromaWidth,
                                converted.data(), 0, width, height, fourccFromVideoType(type));
        buffer = std::move(converted);
    }
    return buffers;
}

// Keeps the last result of every effect, to check that all of them drew.
class EffectResults : public IVideoProcessObserver {
public:
    void onInitialized(int) override {}
    void onLog(int, const char*) override {}
    void onDetectionResult(int, int, const std::shared_ptr<IMetaDataInfo>&) override {}
    void onEffectResult(int result, int effectId) override { last[effectId] = result; }
    void onProcessResult(int) override {}
    std::map<int, int> last;
};

// processFrame with the given selection and documents; `drawn` are the
// effects that must have drawn for the figure to count.
void runProcessFrame(benchmark::State& state, const std::vector<int>& effects,
                     const std::vector<std::pair<const char*, const char*>>& documents,
                     const std::vector<int>& drawn, const char* config = R"({"backend":"gpu"})",
                     int warmUpFrames = kInputs, int format = kPixelFormatI420) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const auto inputs = cameraBuffers(width, height, format);
    std::vector<uint8_t> buffer = inputs[0];
    const int size = static_cast<int>(buffer.size());

    EffectResults results;
    VideoProcessEngineImpl engine(false);
    if (engine.init(config) != 0) {
        state.SkipWithError("init failed");
        return;
    }
    engine.setObserver(&results);
    engine.setVideoEffects(effects);
    for (const auto& document : documents) engine.setParameter(document.first, document.second);

    // Chain building, shader compilation and the denoiser's first reference
    // stay out of the clock.
    for (int n = 0; n < warmUpFrames; ++n) {
        buffer = inputs[n % kInputs];
        if (engine.processFrame(format, width, height, buffer.data(), size, 0, 0, -1, -1) != 0) {
            state.SkipWithError("processFrame failed");
            engine.release();
            return;
        }
    }
    for (int id : drawn) {
        if (results.last.count(id) == 0 || results.last[id] != 0) {
            state.SkipWithError("an effect did not draw");
            engine.release();
            return;
        }
    }
    engine.setObserver(nullptr);

    int n = 0;
    for (auto _ : state) {
        // processFrame works in place; each frame starts from camera input.
        state.PauseTiming();
        std::memcpy(buffer.data(), inputs[n++ % kInputs].data(), buffer.size());
        state.ResumeTiming();
        if (engine.processFrame(format, width, height, buffer.data(), size, 0, 0, -1, -1) != 0) {
            state.SkipWithError("processFrame failed");
            break;
        }
        benchmark::DoNotOptimize(buffer[0]);
    }
    bench::countFrames(state);
    engine.release();
}

// All four effects, in manual modes so that every one of them runs.
const std::vector<int> kAllEffects = {kEffectVideoDenoiser, kEffectLowLightEnhance,
                                      kEffectColorEnhance, kEffectBeauty};
const std::vector<std::pair<const char*, const char*>> kAllEffectDocuments = {
    {"video_denoiser_option", R"({"enable":1,"mode":1})"},
    {"lowlight_enhance_option", R"({"enable":1,"mode":1})"},
    {"color_enhance_option", R"({"enable":1})"},
    {"beauty_effect_option", R"({"enable":1})"}};

void runAllEffects(benchmark::State& state, const char* config, int warmUpFrames = kInputs) {
    runProcessFrame(state, kAllEffects, kAllEffectDocuments, kAllEffects, config, warmUpFrames);
}

std::string cpuConfig(int64_t threads) {
    return R"({"backend":"cpu","threads":)" + std::to_string(threads) + "}";
}

// GL backend; registered only in a build that has it.
[[maybe_unused]] void BM_ProcessFrameAllEffects(benchmark::State& state) {
    runAllEffects(state, R"({"backend":"gpu"})");
}

// The CPU backend; the third argument is its thread count.
void BM_ProcessFrameAllEffectsCpu(benchmark::State& state) {
    runAllEffects(state, cpuConfig(state.range(2)).c_str(), kCpuWarmUpFrames);
}

// The first 64 frames of a fresh CPU-backend engine, chain building on the
// first frame included: what a stream's first two seconds cost while the
// colour cube learns the scene. One repetition is one engine (run with 64
// iterations), so its figures are per frame; first_frame_ms is the first
// frame alone.
void BM_ProcessFrameAllEffectsCpuFirst64(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const auto inputs = cameraBuffers(width, height);
    std::vector<uint8_t> buffer = inputs[0];
    const int size = static_cast<int>(buffer.size());
    EffectResults results;
    VideoProcessEngineImpl engine(false);
    if (engine.init(cpuConfig(state.range(2)).c_str()) != 0) {
        state.SkipWithError("init failed");
        return;
    }
    engine.setObserver(&results);
    engine.setVideoEffects(kAllEffects);
    for (const auto& document : kAllEffectDocuments)
        engine.setParameter(document.first, document.second);
    int n = 0;
    double firstFrameMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(buffer.data(), inputs[n % kInputs].data(), buffer.size());
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        if (engine.processFrame(kPixelFormatI420, width, height, buffer.data(), size, 0, 0, -1,
                                -1) != 0) {
            state.SkipWithError("processFrame failed");
            break;
        }
        if (n++ == 0)
            firstFrameMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
        benchmark::DoNotOptimize(buffer[0]);
    }
    for (int id : kAllEffects)
        if (results.last.count(id) == 0 || results.last[id] != 0)
            state.SkipWithError("an effect did not draw");
    engine.setObserver(nullptr);
    state.counters["first_frame_ms"] = firstFrameMs;
    bench::countFrames(state);
    engine.release();
}

// Resident memory each engine adds: three engines of one configuration are
// made one after another, each running a few frames, with freed heap given
// back to the system before every reading so that only what the engines
// hold counts. The first engine's share includes what all engines share
// (tables, the GL driver's own state); the second and third are the cost of
// one more engine, in MB.
long residentBytes() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    const int n = std::fscanf(f, "%ld %ld", &pages, &resident);
    std::fclose(f);
    return n == 2 ? resident * sysconf(_SC_PAGESIZE) : -1;
}

void BM_EngineMemory(benchmark::State& state, const char* config) {
    constexpr int kEngines = 3, kFrames = 8;
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const auto inputs = cameraBuffers(width, height);
    std::vector<uint8_t> buffer = inputs[0];
    const int size = static_cast<int>(buffer.size());
    long resident[kEngines + 1] = {};
    for (auto _ : state) {
        std::vector<std::unique_ptr<VideoProcessEngineImpl>> engines;
        malloc_trim(0);
        resident[0] = residentBytes();
        for (int e = 0; e < kEngines; ++e) {
            engines.emplace_back(new VideoProcessEngineImpl(false));
            VideoProcessEngineImpl& engine = *engines.back();
            if (engine.init(config) != 0) {
                state.SkipWithError("init failed");
                return;
            }
            engine.setVideoEffects(kAllEffects);
            for (const auto& document : kAllEffectDocuments)
                engine.setParameter(document.first, document.second);
            for (int n = 0; n < kFrames; ++n) {
                std::memcpy(buffer.data(), inputs[n % kInputs].data(), buffer.size());
                if (engine.processFrame(kPixelFormatI420, width, height, buffer.data(), size, 0, 0,
                                        -1, -1) != 0) {
                    state.SkipWithError("processFrame failed");
                    return;
                }
            }
            malloc_trim(0);
            resident[e + 1] = residentBytes();
        }
        for (auto& engine : engines) engine->release();
        engines.clear();
        malloc_trim(0);
    }
    const char* names[kEngines] = {"first_mb", "second_mb", "third_mb"};
    for (int e = 0; e < kEngines; ++e)
        state.counters[names[e]] = (resident[e + 1] - resident[e]) / double(1 << 20);
}

// Engines of one thread each, one per benchmark thread: total frames a
// second show how CPU-backend engines scale across cores.
void BM_CpuEnginesInParallel(benchmark::State& state) {
    runAllEffects(state, R"({"backend":"cpu","threads":1})", kCpuWarmUpFrames);
}

// The buffer path with beauty alone: upload, the five beauty passes, readback.
// GL backend; registered only in a build that has it.
[[maybe_unused]] void BM_ProcessFrameBeauty(benchmark::State& state) {
    runProcessFrame(state, {kEffectBeauty}, {{"beauty_effect_option", R"({"enable":1})"}},
                    {kEffectBeauty});
}

// Colour enhancement alone, the caller's format in the third argument: I420
// goes to the frame and back exactly, I422 and the packed formats keep a copy
// of the frame to take only the change back.
// GL backend; registered only in a build that has it.
[[maybe_unused]] void BM_ProcessFrameColorFormats(benchmark::State& state) {
    runProcessFrame(state, {kEffectColorEnhance}, {{"color_enhance_option", R"({"enable":1})"}},
                    {kEffectColorEnhance}, R"({"backend":"gpu"})", kInputs,
                    static_cast<int>(state.range(2)));
}

void BM_ProcessFrameColorFormatsCpu(benchmark::State& state) {
    runProcessFrame(state, {kEffectColorEnhance}, {{"color_enhance_option", R"({"enable":1})"}},
                    {kEffectColorEnhance}, R"({"backend":"cpu","threads":1})", kCpuWarmUpFrames,
                    static_cast<int>(state.range(2)));
}

// The detector alone, on the frame's luma plane.
void BM_BrightnessDetection(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const auto inputs = cameraBuffers(width, height);
    BrightnessDetectImpl detector;
    detector.setEnabled(true);
    for (auto _ : state) {
        if (detector.detect(1, width, height, inputs[0].data(), width * height) != 0) {
            state.SkipWithError("detection failed");
            break;
        }
        benchmark::DoNotOptimize(detector.stats()->logAverage);
    }
    bench::countFrames(state);
}

// The detection step of processFrame: the brightness detector on the
// frame's luma.
void BM_DetectionStep(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    auto inputs = cameraBuffers(width, height);
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
    frame->allocate(width, height, width, (width + 1) / 2, (width + 1) / 2, 1);
    const int type = videoTypeFromFormat(kPixelFormatI420);
    convertBufferToFrame(type, inputs[0].data(), 0, 0, width, height, inputs[0].size(), 0, *frame,
                         1, 4);
    NativeDetectEngine detection;
    detection.setDetections({kDetectionFrameBrightness});
    detection.setBrightnessDetectionEnabled(true);
    for (auto _ : state) {
        if (detection.detect(frame, inputs[0].data(), static_cast<int>(inputs[0].size()), type,
                             false) != 0) {
            state.SkipWithError("detection failed");
            break;
        }
        benchmark::DoNotOptimize(inputs[0][0]);
    }
    bench::countFrames(state);
}

#if KELVO_WITH_GL
BENCHMARK(BM_ProcessFrameAllEffects)->Apply(bench::frameSizes);
#endif
BENCHMARK(BM_ProcessFrameAllEffectsCpu)->Apply(bench::frameSizesByThreads);
BENCHMARK(BM_ProcessFrameAllEffectsCpuFirst64)->Apply(bench::frameSizesByThreads)->Iterations(64);
BENCHMARK_CAPTURE(BM_EngineMemory, cpu1, R"({"backend":"cpu","threads":1})")
    ->Args({1280, 720})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_EngineMemory, cpu2, R"({"backend":"cpu","threads":2})")
    ->Args({1280, 720})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#if KELVO_WITH_GL
BENCHMARK_CAPTURE(BM_EngineMemory, gpu, R"({"backend":"gpu"})")
    ->Args({1280, 720})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif
BENCHMARK(BM_CpuEnginesInParallel)
    ->Args({1280, 720})
    ->Threads(1)
    ->Threads(2)
    ->Threads(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
#if KELVO_WITH_GL
BENCHMARK(BM_ProcessFrameBeauty)->Apply(bench::frameSizes);
#endif
void colorFormats(benchmark::internal::Benchmark* b) {
    for (int format : {kPixelFormatI420, kPixelFormatI422, kPixelFormatARGB})
        b->Args({1280, 720, format});
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
}
#if KELVO_WITH_GL
BENCHMARK(BM_ProcessFrameColorFormats)->Apply(colorFormats);
#endif
BENCHMARK(BM_ProcessFrameColorFormatsCpu)->Apply(colorFormats);
BENCHMARK(BM_BrightnessDetection)->Apply(bench::frameSizes);
BENCHMARK(BM_DetectionStep)->Apply(bench::frameSizes);

// Writes `count` frames of the benchmarked camera input, raw I420, so that
// peer tools can be timed on the very same frames.
int writeFrames(int width, int height, int count, const char* path) {
    if (width < 2 || height < 2 || count < 1) return 2;
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return 1;
    const auto inputs = cameraBuffers(width, height);
    bool ok = true;
    for (int n = 0; n < count && ok; ++n) {
        const auto& frame = inputs[n % kInputs];
        ok = std::fwrite(frame.data(), 1, frame.size(), file) == frame.size();
    }
    return std::fclose(file) == 0 && ok ? 0 : 1;
}

}  // namespace
}  // namespace video
}  // namespace kelvo

int main(int argc, char** argv) {
    // --write-frames WIDTH HEIGHT COUNT PATH
    if (argc == 6 && std::strcmp(argv[1], "--write-frames") == 0) {
        return kelvo::video::writeFrames(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                                         argv[5]);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
