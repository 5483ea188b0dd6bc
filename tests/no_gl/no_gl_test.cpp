// A library built without OpenGL: the CPU backend does all the work, and
// what needs GL is refused with a reason instead of failing later.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kelvo/video_process_engine.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

class Logs : public NullObserver {
public:
    void onLog(int level, const char* text) override {
        if (level == kLogError) errors += std::string(text) + "\n";
    }
    std::string errors;
};

TEST(NoGL, GpuIsRefusedWithAReasonAndAutoGivesTheCpuBackend) {
    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    Logs logs;
    engine->setObserver(&logs);
    EXPECT_EQ(engine->init(R"({"backend":"gpu"})"), kResultInvalidArgument);
    EXPECT_NE(logs.errors.find("built without OpenGL"), std::string::npos) << logs.errors;
    EXPECT_EQ(engine->init(""), kResultOk);
    EXPECT_STREQ(engine->getInfo("backend"), "cpu");

    ASSERT_EQ(engine->setVideoEffects({kEffectColorEnhance}), kResultOk);
    ASSERT_EQ(engine->setParameter("color_enhance_option", R"({"enable":1,"strength":1})"),
              kResultOk);
    std::vector<uint8_t> frame(32 * 16 * 3 / 2, 90);
    for (size_t i = 32 * 16; i < frame.size(); ++i) frame[i] = i % 2 ? 160 : 100;
    const std::vector<uint8_t> input = frame;
    EXPECT_EQ(engine->processFrame(kPixelFormatI420, 32, 16, frame.data(), int(frame.size()), -1,
                                   -1, -1, -1),
              kResultOk);
    EXPECT_NE(frame, input) << "colour enhancement at full strength changed nothing";
    engine->release();
}

TEST(NoGL, TexturesAreRefusedOnAnExternalContextEngine) {
    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(true));
    ASSERT_EQ(engine->init(""), kResultOk);
    ASSERT_EQ(engine->setVideoEffects({kEffectBeauty}), kResultOk);
    ASSERT_EQ(engine->setParameter("beauty_effect_option", R"({"enable":1})"), kResultOk);
    int out = 0;
    EXPECT_EQ(engine->processTexture(kTexture2D, 16, 16, 1, &out), kResultInvalidArgument);
    engine->release();
}

}  // namespace
}  // namespace video
}  // namespace kelvo
