#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "detect/metadata_frame_stats.h"
#include "effects/lowlight/gl/effect_lowlight_enhance.h"
#include "frame/i420_video_frame.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"
#include "support/gl_test_env.h"

namespace kelvo {
namespace video {
namespace {

using Image = std::vector<uint8_t>;  // RGBA rows, bottom row first as uploaded

double luma(double r, double g, double b) { return 0.299 * r + 0.587 * g + 0.114 * b; }

// Independent model of one output pixel: log-curve lift, colour-difference
// lift, then the green high-pass of the input over the 3x3 neighbourhood
// (edge texels repeat, as with clamped sampling).
void referencePixel(const Image& in, int width, int height, int x, int y, double logMean,
                    double out[3]) {
    auto at = [&](int px, int py, int ch) {
        px = std::clamp(px, 0, width - 1);
        py = std::clamp(py, 0, height - 1);
        return in[(static_cast<size_t>(py) * width + px) * 4 + ch] / 255.0;
    };
    double c[3] = {at(x, y, 0), at(x, y, 1), at(x, y, 2)};
    double yv = std::clamp(luma(c[0], c[1], c[2]), 0.0, 1.0);
    double k = logMean / 1.8;
    double yNew = yv < 0.9 ? std::log1p(yv / k) / std::log1p(0.9 / k) * 0.9 : yv;
    double gain = yv > 0.00001 ? yNew / yv : 0.0;
    double sum = 0.0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) sum += at(x + dx, y + dy, 1);
    sum *= 0.1111;
    double dif = c[1] - sum;
    double weight = dif < 0.039216 ? 0.4 : dif <= 0.078431 ? 0.8 : 0.6;
    double hPass = dif + 0.5;
    for (int ch = 0; ch < 3; ++ch) {
        double lifted = std::clamp(0.5 * (gain * (c[ch] + yv) + (c[ch] - yv)), 0.0, 1.0);
        double t = 2.0 * hPass + lifted - 1.0;
        double sharp = hPass >= 0.5 ? std::min(1.0, t) : std::max(0.0, t);
        out[ch] = lifted + (sharp - lifted) * weight;
    }
}

std::shared_ptr<I420VideoFrame> frameWithLogMean(float logMean) {
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame, I420VideoFrame::deleter());
    auto stats = std::make_shared<MetaDataFrameStats>();
    stats->logAverage = logMean;
    frame->setMetadata(kMetadataKindFrameStats, stats);
    return frame;
}

std::shared_ptr<I420VideoFrame> frameWithoutStats() {
    return std::shared_ptr<I420VideoFrame>(new I420VideoFrame, I420VideoFrame::deleter());
}

class LowlightEnhanceTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (IsSkipped()) return;
        effect = std::make_unique<EffectLowlightEnhance>();
        effect->setEnable(true);
        effect->setMode(1);
        output = std::make_shared<GLFBO>();
    }
    void TearDown() override {
        effect.reset();
        if (output) output->UnInitFBO();
        GLTest::TearDown();
    }

    // Uploads the image and points the effect at it; the output is cleared
    // to a marker colour so that an untouched framebuffer shows.
    void prepare(const Image& image, int width, int height) {
        input = std::make_shared<GLTexture>();
        input->Load(image.data(), 0, width, height, GL_RGBA);
        output->InitFBO(width, height);
        clearTo(*output, 0.0f, 1.0f, 0.0f, 1.0f);
        effect->setInputTexture(input);
        effect->setOutputFBO(output);
    }

    bool outputUntouched() {
        Image back = readBack(*output);
        for (size_t i = 0; i < back.size(); i += 4) {
            if (back[i] != 0 || back[i + 1] != 255 || back[i + 2] != 0) return false;
        }
        return true;
    }

    std::unique_ptr<EffectLowlightEnhance> effect;
    std::shared_ptr<GLTexture> input;
    std::shared_ptr<GLFBO> output;
};

// An 8x8 image of one colour; every pixel's neighbourhood is flat.
Image flat(uint8_t r, uint8_t g, uint8_t b) {
    Image image;
    for (int i = 0; i < 64; ++i) image.insert(image.end(), {r, g, b, 255});
    return image;
}

struct FlatCase {
    const char* name;
    uint8_t r, g, b;
    double luma;  // output luma the curve gives at log mean 0.5; < 0: not named
};

TEST_F(LowlightEnhanceTest, LiftsDarkLumaAlongTheLogCurveAndKeepsBrightAndBlack) {
    const FlatCase cases[] = {
        {"luma 0.1 grey", 26, 26, 26, 0.19},
        {"luma 0.95 grey", 242, 242, 242, 242 / 255.0},
        {"black", 0, 0, 0, 0.0},
        {"dark brown", 60, 30, 20, -1},
        {"dark blue", 10, 20, 70, -1},
        {"bright orange", 250, 200, 60, -1},
    };
    for (const FlatCase& c : cases) {
        SCOPED_TRACE(c.name);
        Image image = flat(c.r, c.g, c.b);
        prepare(image, 8, 8);
        ASSERT_EQ(effect->Draw(frameWithLogMean(0.5f)), kDrawDone);
        Image back = readBack(*output);
        double expected[3];
        referencePixel(image, 8, 8, 4, 4, 0.5, expected);
        const size_t centre = (4 * 8 + 4) * 4;
        for (int ch = 0; ch < 3; ++ch) {
            // float on the GPU vs double here, then rounding to 8 bits.
            EXPECT_NEAR(back[centre + ch], expected[ch] * 255.0, 1.0) << "channel " << ch;
        }
        if (c.luma >= 0.0) {
            // "About": the 8-bit input is 0.102, not 0.1, plus one output step.
            EXPECT_NEAR(luma(back[centre], back[centre + 1], back[centre + 2]) / 255.0, c.luma,
                        0.01);
        }
    }
}

TEST_F(LowlightEnhanceTest, SharpensWithTheGreenHighPassOfTheUnbrightenedInput) {
    const int width = 17, height = 13;  // odd, so rows do not line up with any tiling
    std::mt19937 random(7);
    Image image;
    for (int i = 0; i < width * height; ++i) {
        // Dark scene with texture: values below 120 and mixed local contrast.
        image.insert(image.end(), {uint8_t(random() % 120), uint8_t(random() % 120),
                                   uint8_t(random() % 120), 255});
    }
    prepare(image, width, height);
    ASSERT_EQ(effect->Draw(frameWithLogMean(0.12f)), kDrawDone);
    Image back = readBack(*output);
    double worst = 0.0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double expected[3];
            referencePixel(image, width, height, x, y, 0.12, expected);
            for (int ch = 0; ch < 3; ++ch) {
                double got = back[(static_cast<size_t>(y) * width + x) * 4 + ch];
                worst = std::max(worst, std::abs(got - expected[ch] * 255.0));
            }
        }
    }
    // float on the GPU vs double here, then rounding to 8 bits.
    EXPECT_LE(worst, 1.0);
}

TEST_F(LowlightEnhanceTest, NeedsStatisticsOnceAndThenReusesTheLastLogMean) {
    prepare(flat(26, 26, 26), 8, 8);
    EXPECT_EQ(effect->Draw(frameWithoutStats()), kDrawNoOutput);
    EXPECT_TRUE(outputUntouched());

    ASSERT_EQ(effect->Draw(frameWithLogMean(0.5f)), kDrawDone);
    Image withStats = readBack(*output);
    clearTo(*output, 0.0f, 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(effect->Draw(frameWithoutStats()), kDrawDone);
    EXPECT_EQ(readBack(*output), withStats);
    EXPECT_EQ(effect->Draw(nullptr), kDrawDone) << "no frame counts as no statistics";
    EXPECT_FLOAT_EQ(effect->lastLogMean(), 0.5f);
}

TEST_F(LowlightEnhanceTest, LeavesAnAlmostBlackSceneUntouched) {
    prepare(flat(2, 2, 2), 8, 8);
    EXPECT_EQ(effect->Draw(frameWithLogMean(0.005f)), kDrawUnchanged);
    EXPECT_TRUE(outputUntouched());
    EXPECT_EQ(effect->Draw(frameWithLogMean(0.0081f)), kDrawDone);
}

TEST_F(LowlightEnhanceTest, AutomaticModeDrawsOnlyWhileTheSceneIsJudgedDark) {
    prepare(flat(26, 26, 26), 8, 8);
    effect->setMode(0);
    EXPECT_EQ(effect->Draw(frameWithLogMean(0.5f)), kDrawUnchanged);
    EXPECT_TRUE(outputUntouched());
    EXPECT_LT(effect->lastLogMean(), 0.0f) << "an undrawn frame's statistics are not taken";
    effect->setDarkScene(true);
    EXPECT_EQ(effect->Draw(frameWithLogMean(0.5f)), kDrawDone);
    EXPECT_FALSE(outputUntouched());
}

// Adaptive: a frame of mean luma 110 is passed on, one of 40 lifted as the
// curve lifts it (a flat picture has no high-pass for the sharpening).
TEST_F(LowlightEnhanceTest, AdaptiveLeavesALitFrameAndLiftsADarkOneAlongTheCurve) {
    prepare(flat(26, 26, 26), 8, 8);
    auto withMean = [](uint32_t mean) {
        auto frame = frameWithLogMean(0.5f);
        auto stats =
            std::dynamic_pointer_cast<MetaDataFrameStats>(frame->metadata(kMetadataKindFrameStats));
        stats->sampleCount = 64;
        stats->sum = 64 * mean;
        return frame;
    };
    ASSERT_EQ(effect->Draw(withMean(40)), kDrawDone);
    const Image curve = readBack(*output);
    effect->setAdaptive(1);
    clearTo(*output, 0.0f, 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(effect->Draw(withMean(110)), kDrawUnchanged);
    EXPECT_TRUE(outputUntouched());
    // After the lit frame, a dark one is lifted a little: the lift fades in.
    ASSERT_EQ(effect->Draw(withMean(40)), kDrawDone);
    const uint8_t fading = readBack(*output)[0];
    EXPECT_GT(fading, 26);
    EXPECT_LT(fading, curve[0] - 10);
    effect->init();
    effect->setAdaptive(1);
    effect->setMode(1);
    ASSERT_EQ(effect->Draw(withMean(40)), kDrawDone);
    EXPECT_EQ(readBack(*output), curve);
}

TEST_F(LowlightEnhanceTest, ReportsMissingInputsDisabledStateAndReleasedProgram) {
    EXPECT_EQ(effect->Draw(frameWithLogMean(0.5f)), kDrawNoOutput);
    prepare(flat(26, 26, 26), 8, 8);
    effect->setInputTexture(nullptr);
    EXPECT_EQ(effect->Draw(frameWithLogMean(0.5f)), kDrawNoOutput);
    effect->setInputTexture(input);
    effect->setEnable(false);
    EXPECT_EQ(effect->Draw(frameWithLogMean(0.5f)), kDrawDisabled);
    effect->setEnable(true);
    effect->release();
    effect->release();
    EXPECT_EQ(effect->Draw(frameWithLogMean(0.5f)), kDrawFailed);

    effect->setLevel(1);
    effect->setDarkScene(true);
    effect->setAdaptive(1);
    effect->init();
    EXPECT_FALSE(effect->adaptive());
    EXPECT_EQ(effect->mode(), 0);
    EXPECT_EQ(effect->level(), 0);
    EXPECT_FALSE(effect->darkScene());
    EXPECT_LT(effect->lastLogMean(), 0.0f);
    EXPECT_EQ(effect->effectType, 203);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
