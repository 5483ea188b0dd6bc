// A first look at the library through its public header: creates an engine,
// initialises it headless, selects all four effects, processes one generated
// I420 frame and prints what the engine reported.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "kelvo/video_process_engine.h"

namespace {

class PrintingObserver : public kelvo::video::IVideoProcessObserver {
public:
    void onInitialized(int code) override { std::printf("initialized: %d\n", code); }
    void onLog(int level, const char* message) override {
        std::printf("log[%d] %s\n", level, message);
    }
    void onDetectionResult(int result, int kind,
                           const std::shared_ptr<kelvo::video::IMetaDataInfo>& record) override {
        std::printf("detection kind %d: %d%s\n", kind, result, record ? " (record)" : "");
    }
    void onEffectResult(int result, int effectId) override {
        std::printf("effect %d: %d\n", effectId, result);
    }
    void onProcessResult(int code) override { std::printf("frame result: %d\n", code); }
};

// A dim gradient with a skin-toned disc, in I420.
std::vector<uint8_t> makeFrame(int w, int h) {
    std::vector<uint8_t> buf(w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2));
    uint8_t* y = buf.data();
    uint8_t* u = y + w * h;
    uint8_t* v = u + ((w + 1) / 2) * ((h + 1) / 2);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const int dx = c - w / 2, dy = r - h / 2;
            const bool skin = dx * dx + dy * dy < (h / 3) * (h / 3);
            y[r * w + c] = static_cast<uint8_t>(skin ? 150 : 40 + 60 * c / w);
        }
    for (int r = 0; r < (h + 1) / 2; ++r)
        for (int c = 0; c < (w + 1) / 2; ++c) {
            const int dx = 2 * c - w / 2, dy = 2 * r - h / 2;
            const bool skin = dx * dx + dy * dy < (h / 3) * (h / 3);
            u[r * ((w + 1) / 2) + c] = skin ? 110 : 128;
            v[r * ((w + 1) / 2) + c] = skin ? 150 : 128;
        }
    return buf;
}

}  // namespace

int main() {
    using namespace kelvo::video;
    PrintingObserver observer;
    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    if (!engine) return EXIT_FAILURE;
    engine->setObserver(&observer);
    if (engine->init("") != 0) {
        std::fprintf(stderr, "kelvo-demo: no usable OpenGL 3.3 context\n");
        return EXIT_FAILURE;
    }
    engine->setVideoEffects(
        {kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance, kEffectBeauty});
    engine->setParameter("beauty_effect_option", R"({"enable":1,"smoothness":0.6})");
    engine->setParameter("color_enhance_option", R"({"enable":1,"strength":0.5})");
    engine->setParameter("lowlight_enhance_option", R"({"enable":1,"mode":1})");

    const int w = 640, h = 360;
    std::vector<uint8_t> frame = makeFrame(w, h);
    const std::vector<uint8_t> before = frame;
    const int result =
        engine->processFrame(kPixelFormatI420, w, h, frame.data(), static_cast<int>(frame.size()),
                             -1, -1, kColorMatrixUnspecified, kColorRangeUnspecified);
    long changed = 0;
    for (size_t i = 0; i < frame.size(); ++i) changed += frame[i] != before[i];
    std::printf("processFrame %dx%d I420: %d, %ld of %zu bytes changed\n", w, h, result, changed,
                frame.size());
    engine->release();
    return result == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
