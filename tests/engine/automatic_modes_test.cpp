// Automatic modes with the real effects: what the statistics of real frames
// switch on and off, frame by frame, on the CPU backend (and the smoother on
// the GL one, whose beauty effect shows its settings).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "denoise/effect_video_denoiser.h"
#include "detect/metadata_frame_stats.h"
#include "engine/video_process_engine_impl.h"
#include "recording_observer.h"
#include "render/render_engine.h"
#include "system/clock.h"
#if KELVO_WITH_GL
#include "effects/beauty/gl/effect_gpu_beauty.h"
#endif

namespace kelvo {
namespace video {
namespace {

constexpr int kW = 64, kH = 48;

// I420 with luma from `luma(x, y)` and neutral chroma.
template <class Luma>
std::vector<uint8_t> frameOf(Luma luma) {
    std::vector<uint8_t> buf(kW * kH * 3 / 2, 128);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) buf[y * kW + x] = static_cast<uint8_t>(luma(x, y));
    return buf;
}

class AutomaticModesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(engine.init(config()), 0);
        engine.setObserver(&observer);
    }
    void TearDown() override { engine.release(); }

    int process(std::vector<uint8_t> frame) {
        last = std::move(frame);
        return engine.processFrame(kPixelFormatI420, kW, kH, last.data(), int(last.size()), -1, -1,
                                   -1, -1);
    }
    template <class Effect>
    Effect* effect(int type) {
        return dynamic_cast<Effect*>(engine.renderEngine()->effect(type).get());
    }

    virtual const char* config() const { return R"({"backend":"cpu","threads":1})"; }

    RecordingObserver observer;
    VideoProcessEngineImpl engine{false};
    std::vector<uint8_t> last;
};

#if KELVO_WITH_GL
class AutomaticModesGLTest : public AutomaticModesTest {
protected:
    const char* config() const override { return R"({"backend":"gpu"})"; }
};

TEST_F(AutomaticModesGLTest, DenoiserLevelOneTurnsBeautyIntoASmootherOnEveryFrame) {
    ASSERT_EQ(engine.setVideoEffects({kEffectVideoDenoiser}), 0);  // + beauty
    for (int mode : {1, 0}) {
        const std::string doc = R"({"enable":1,"level":1,"mode":)" + std::to_string(mode) + "}";
        ASSERT_EQ(engine.setParameter("video_denoiser_option", doc.c_str()), 0);
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(process(frameOf([](int, int) { return 120; })), 0);
            auto* beauty = effect<EffectGPUBeauty>(201);
            ASSERT_NE(beauty, nullptr);
            EXPECT_TRUE(beauty->enabled) << "mode " << mode;
            EXPECT_FLOAT_EQ(beauty->smoothness(), 0.7f);
            EXPECT_FLOAT_EQ(beauty->lightness(), 0.0f);
            EXPECT_FLOAT_EQ(beauty->redness(), 0.0f);
            EXPECT_EQ(beauty->contrast(), 1);
            EXPECT_FLOAT_EQ(beauty->sharpness(), 0.1f);
            // A document would win for one frame only; the preset is rewritten.
            engine.setParameter("beauty_effect_option", R"({"smoothness":0.2})");
        }
    }
    EXPECT_FALSE(engine.beautyEnabled());  // the caller never enabled beauty
}
#endif

TEST_F(AutomaticModesTest, NoisyVerdictArmsTheDenoiserTrigger) {
    ASSERT_EQ(engine.setVideoEffects({kEffectVideoDenoiser, kEffectBeauty}), 0);
    ASSERT_EQ(engine.setParameter("video_denoiser_option", R"({"enable":1,"mode":0})"), 0);
    struct Row {
        const char* what;
        int (*luma)(int, int);
        bool noisy;
    } rows[] = {
        // Deviation 0 is not above 65: counted as noisy.
        {"flat mid grey", [](int, int) { return 150; }, true},
        // Half 100, half 255: deviation 77.5, no dark samples, mean 177.
        {"bright high contrast", [](int x, int) { return x < kW / 2 ? 100 : 255; }, false},
        // The same with some samples below 100.
        {"contrast with dark samples", [](int x, int) { return x < kW / 2 ? 90 : 255; }, true},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(process(frameOf(row.luma)), 0) << row.what;
        auto* denoiser = effect<EffectVideoDenoiser>(10);
        ASSERT_NE(denoiser, nullptr);
        EXPECT_EQ(denoiser->autoTrigger(), row.noisy) << row.what;
    }
}

TEST_F(AutomaticModesTest, ManualLowlightStillGetsBrightnessStatistics) {
    ASSERT_EQ(engine.setVideoEffects({kEffectLowLightEnhance}), 0);
    ASSERT_EQ(engine.setParameter("lowlight_enhance_option", R"({"enable":1,"mode":1})"), 0);
    std::vector<uint8_t> dark = frameOf([](int x, int y) { return 20 + (x + y) % 16; });
    const std::vector<uint8_t> input = dark;
    ASSERT_EQ(process(dark), 0);
    ASSERT_FALSE(observer.detections.empty());
    EXPECT_EQ(observer.detections.back().kind, 1);
    EXPECT_EQ(observer.detections.back().result, 0);
    auto stats = std::dynamic_pointer_cast<MetaDataFrameStats>(observer.detections.back().record);
    ASSERT_TRUE(stats);
    EXPECT_LT(stats->mean, 40u);
    // And the low-light effect drew: the frame is brighter.
    long sumBefore = 0, sumAfter = 0;
    for (int i = 0; i < kW * kH; ++i) sumBefore += input[i], sumAfter += last[i];
    EXPECT_GT(sumAfter, sumBefore + kW * kH * 5);
    EXPECT_NE(std::find(observer.effectResults.begin(), observer.effectResults.end(),
                        std::make_pair(int(kEffectLowLightEnhance), 0)),
              observer.effectResults.end());
}

int64_t gNowMs = 0;
int64_t steppedClock() { return gNowMs; }

TEST_F(AutomaticModesTest, DarkNoisyClipIsDetectedAfterFifteenFramesThenEnhancedAndDenoised) {
    gNowMs = 5000;
    setWallClockForTesting(&steppedClock);
    ASSERT_EQ(engine.setVideoEffects({103, 104, 102, 101}), 0);
    ASSERT_EQ(engine.setParameter("lowlight_enhance_option", R"({"enable":1,"mode":0})"), 0);
    ASSERT_EQ(engine.setParameter("video_denoiser_option", R"({"enable":1,"mode":0})"), 0);
    ASSERT_EQ(engine.setParameter("color_enhance_option", R"({"enable":1})"), 0);
    ASSERT_EQ(engine.setParameter("beauty_effect_option", R"({"enable":1})"), 0);

    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 6);
    auto darkNoisy = [&] {
        return frameOf([&](int x, int y) {
            return std::clamp<int>(std::lround(30 + (x + y) / 8 + noise(rng)), 0, 255);
        });
    };
    for (int i = 1; i <= 15; ++i) {
        gNowMs += 33;
        observer.effectResults.clear();
        std::vector<uint8_t> frame = darkNoisy();
        long before = 0;
        for (int p = 0; p < kW * kH; ++p) before += frame[p];
        ASSERT_EQ(process(frame), 0);
        EXPECT_EQ(engine.darkScene(), i == 15) << "frame " << i;
        auto* denoiser = effect<EffectVideoDenoiser>(10);
        ASSERT_TRUE(denoiser);
        EXPECT_EQ(denoiser->enabled, i == 15) << "frame " << i;
        if (i == 15) {
            long after = 0;
            for (int p = 0; p < kW * kH; ++p) after += last[p];
            EXPECT_GT(after, before + kW * kH * 5) << "brightened";
            EXPECT_NE(std::find(observer.effectResults.begin(), observer.effectResults.end(),
                                std::make_pair(int(kEffectLowLightEnhance), 0)),
                      observer.effectResults.end());
            EXPECT_NE(std::find_if(observer.effectResults.begin(), observer.effectResults.end(),
                                   [](auto r) { return r.first == kEffectVideoDenoiser; }),
                      observer.effectResults.end());
        }
    }
    EXPECT_EQ(engine.videoDenoiserMode(), 1);
    EXPECT_EQ(engine.videoDenoiserLevel(), 0);
    setWallClockForTesting(nullptr);
}

TEST_F(AutomaticModesTest, BrightCleanClipIsLeftToTheOtherEffects) {
    ASSERT_EQ(engine.setVideoEffects({103, 104, 102, 101}), 0);
    ASSERT_EQ(engine.setParameter("lowlight_enhance_option", R"({"enable":1,"mode":0})"), 0);
    ASSERT_EQ(engine.setParameter("beauty_effect_option", R"({"enable":1})"), 0);
    for (int i = 0; i < 20; ++i) {
        observer.effectResults.clear();
        ASSERT_EQ(process(frameOf([](int x, int) { return 150 + x % 32; })), 0);
    }
    EXPECT_FALSE(engine.darkScene());
    EXPECT_FALSE(effect<EffectVideoDenoiser>(10)->enabled);
    // Low light declined (1); beauty drew (0).
    EXPECT_NE(std::find(observer.effectResults.begin(), observer.effectResults.end(),
                        std::make_pair(int(kEffectLowLightEnhance), 1)),
              observer.effectResults.end());
    EXPECT_NE(std::find(observer.effectResults.begin(), observer.effectResults.end(),
                        std::make_pair(int(kEffectBeauty), 0)),
              observer.effectResults.end());
}

}  // namespace
}  // namespace video
}  // namespace kelvo
