#include "engine_fuzz_support.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/gl_driver.h"

namespace kelvo {
namespace video {
namespace fuzz {

namespace {

const char* const kResetDocuments[][2] = {
    {"beauty_effect_option",
     R"({"enable":1,"smoothness":0.5,"lightness":0.3,"redness":0.3,"contrast":1,"sharpness":0.3})"},
    {"color_enhance_option", R"({"enable":1,"skinProtect":1,"strength":0.5})"},
    {"video_denoiser_option", R"({"enable":1,"mode":1,"level":0})"},
    {"lowlight_enhance_option", R"({"enable":1,"mode":1,"level":1})"},
    {"environment", R"({"light_strength":100,"noise_level":0})"},
};

}  // namespace

VideoProcessEngineImpl* sharedEngine(const char* config) {
    static TouchingObserver observer;
    static VideoProcessEngineImpl* engine = [config] {
        // Never deleted: its destructor would tear down the process-wide
        // context while libFuzzer may still be running inputs.
        auto* e = new VideoProcessEngineImpl(false);
        e->setObserver(&observer);
        if (e->init(config) != 0) {
            std::fprintf(stderr, "fuzz: no GL context, engine inputs are not exercised\n");
            delete e;
            return static_cast<VideoProcessEngineImpl*>(nullptr);
        }
        if (!e->cpuBackend()) keepGLDriverLoaded();
        e->setVideoEffects(
            {kEffectBeauty, kEffectColorEnhance, kEffectVideoDenoiser, kEffectLowLightEnhance});
        resetParameters(*e);
        // Build the chain now, outside any input's leak check.
        std::vector<uint8_t> picture = i420Picture(16, 16, nullptr, 0);
        e->processFrame(kPixelFormatI420, 16, 16, picture.data(), static_cast<int>(picture.size()),
                        0, 0, -1, -1);
        return e;
    }();
    return engine;
}

void resetParameters(VideoProcessEngineImpl& engine) {
    for (const auto& doc : kResetDocuments) engine.setParameter(doc[0], doc[1]);
}

GuardedBuffer::GuardedBuffer(size_t size) : size_(size) {
    if (size == 0) return;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t dataPages = (size + page - 1) / page;
    mapSize_ = (dataPages + 1) * page;
    map_ = mmap(nullptr, mapSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map_ == MAP_FAILED) std::abort();
    auto* base = static_cast<uint8_t*>(map_);
    if (mprotect(base + dataPages * page, page, PROT_NONE) != 0) std::abort();
    data_ = base + dataPages * page - size;
}

GuardedBuffer::~GuardedBuffer() {
    if (map_) munmap(map_, mapSize_);
}

std::vector<uint8_t> i420Picture(int width, int height, const uint8_t* seed, size_t seedSize) {
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    std::vector<uint8_t> picture(w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2));
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = seedSize ? seed[i % seedSize] : static_cast<uint8_t>(i * 7);
    return picture;
}

}  // namespace fuzz
}  // namespace video
}  // namespace kelvo
