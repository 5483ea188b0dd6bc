// The smallest complete user of the library: one engine, beauty and colour
// enhancement, ten synthetic I420 frames processed in place.
#include <kelvo/video_process_engine.h>
#include <kelvo/version.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace kelvo::video;

int main() {
    const int width = 320, height = 240;
    // I420: a width x height luma plane, then two quarter-size chroma planes.
    const int chromaSize = ((width + 1) / 2) * ((height + 1) / 2);
    std::vector<uint8_t> frame(width * height + 2 * chromaSize);

    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    // "" picks the GPU, or the CPU where GL is missing or software only.
    if (!engine || engine->init("") != 0) {
        std::fprintf(stderr, "the engine cannot start\n");
        return 1;
    }
    engine->setVideoEffects({kEffectColorEnhance, kEffectBeauty});
    engine->setParameter("beauty_effect_option", R"({"enable":1,"smoothness":0.6})");
    engine->setParameter("color_enhance_option", R"({"enable":1,"strength":0.5})");

    int failures = 0;
    for (int n = 0; n < 10; ++n) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) frame[y * width + x] = uint8_t((x + y + 4 * n) & 0xff);
        std::fill(frame.begin() + width * height, frame.end(), uint8_t(128));
        const int r = engine->processFrame(kPixelFormatI420, width, height, frame.data(),
                                           int(frame.size()), -1, -1, kColorMatrixBT709,
                                           kColorRangeLimited);
        if (r != 0) ++failures;
    }
    std::printf("kelvo video process %s (%s): 10 frames, %d failed\n", engine->getInfo("version"),
                KELVO_VIDEO_VERSION_STRING, failures);
    engine->release();
    return failures == 0 ? 0 : 1;
}
