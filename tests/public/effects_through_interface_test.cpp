// What each effect does to a caller's frame, seen only through the public
// interface, on either backend.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "kelvo/metadata_frame_stats.h"
#include "kelvo/video_process_engine.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

constexpr int kW = 128, kH = 96;

struct Frame {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kW * kH * 3 / 2);
    uint8_t* y() { return bytes.data(); }
    uint8_t* u() { return bytes.data() + kW * kH; }
    uint8_t* v() { return u() + kW * kH / 4; }
    double meanLuma() {
        double s = 0;
        for (int i = 0; i < kW * kH; ++i) s += y()[i];
        return s / (kW * kH);
    }
    // Mean distance of the chroma pairs from neutral.
    double meanChroma() {
        double s = 0;
        for (int i = 0; i < kW * kH / 4; ++i) s += std::hypot(u()[i] - 128.0, v()[i] - 128.0);
        return s / (kW * kH / 4);
    }
};

class StatsObserver : public NullObserver {
public:
    void onDetectionResult(int result, int kind,
                           const std::shared_ptr<IMetaDataInfo>& record) override {
        if (result == 0 && kind == 1) stats = std::dynamic_pointer_cast<MetaDataFrameStats>(record);
    }
    std::shared_ptr<MetaDataFrameStats> stats;
};

class EffectsThroughInterface : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        engine.reset(createVideoProcessEngine(false));
        ASSERT_EQ(engine->init(GetParam()), 0);
        engine->setObserver(&observer);
    }
    void TearDown() override { engine->release(); }
    int process(Frame& f) {
        return engine->processFrame(kPixelFormatI420, kW, kH, f.bytes.data(), int(f.bytes.size()),
                                    -1, -1, kColorMatrixSMPTE170M, kColorRangeLimited);
    }
    StatsObserver observer;
    std::unique_ptr<IVideoProcessEngine> engine;
};

TEST_P(EffectsThroughInterface, BeautyChangesANoisySkinFrame) {
    Frame f;
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> noise(-10, 10);
    for (int i = 0; i < kW * kH; ++i) f.y()[i] = static_cast<uint8_t>(150 + noise(rng));
    for (int i = 0; i < kW * kH / 4; ++i) f.u()[i] = 110, f.v()[i] = 150;
    const Frame input = f;
    ASSERT_EQ(engine->setVideoEffects({kEffectBeauty}), 0);
    ASSERT_EQ(engine->setParameter("beauty_effect_option", R"({"enable":1})"), 0);
    ASSERT_EQ(process(f), 0);
    // Smoothing lowers the luma variance of the skin patch.
    auto variance = [](Frame& g) {
        const double m = g.meanLuma();
        double s = 0;
        for (int i = 0; i < kW * kH; ++i) s += (g.y()[i] - m) * (g.y()[i] - m);
        return s / (kW * kH);
    };
    Frame before = input;
    EXPECT_LT(variance(f), 0.6 * variance(before));
}

TEST_P(EffectsThroughInterface, ColorEnhancementMakesADullColorfulFrameMoreColorful) {
    Frame f;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) f.y()[y * kW + x] = 110;
    // Muted green, blue and purple: well away from skin tones.
    for (int i = 0; i < kW * kH / 4; ++i) {
        const int band = (i % (kW / 2)) * 3 / (kW / 2);
        f.u()[i] = band == 0 ? 118 : band == 1 ? 146 : 140;
        f.v()[i] = band == 0 ? 116 : band == 1 ? 120 : 140;
    }
    Frame input = f;
    ASSERT_EQ(engine->setVideoEffects({kEffectColorEnhance}), 0);
    ASSERT_EQ(engine->setParameter("color_enhance_option", R"({"enable":1,"strength":1})"), 0);
    ASSERT_EQ(process(f), 0);
    EXPECT_GT(f.meanChroma(), input.meanChroma() * 1.15);
}

TEST_P(EffectsThroughInterface, ManualLowlightBrightensADarkFrameAndReportsItsStatistics) {
    Frame f;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) f.y()[y * kW + x] = static_cast<uint8_t>(25 + (x / 8) % 8);
    for (int i = 0; i < kW * kH / 4; ++i) f.u()[i] = 128, f.v()[i] = 128;
    Frame input = f;
    ASSERT_EQ(engine->setVideoEffects({kEffectLowLightEnhance}), 0);
    ASSERT_EQ(engine->setParameter("lowlight_enhance_option", R"({"enable":1,"mode":1})"), 0);
    ASSERT_EQ(process(f), 0);
    EXPECT_GT(f.meanLuma(), input.meanLuma() + 8);
    ASSERT_TRUE(observer.stats);
    EXPECT_LT(observer.stats->mean, 40u);
    EXPECT_FLOAT_EQ(observer.stats->darkFraction, 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Backends, EffectsThroughInterface,
                         ::testing::Values(R"({"backend":"gpu"})", R"({"backend":"cpu"})"));

}  // namespace
}  // namespace video
}  // namespace kelvo
