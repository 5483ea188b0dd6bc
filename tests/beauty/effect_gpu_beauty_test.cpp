#include "effects/beauty/gl/effect_gpu_beauty.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>

#include "beauty/beauty_test_util.h"
#include "effects/beauty/gl/gpu_beauty_programs.h"
#include "effects/lut_loader.h"
#include "gpu/framebuffer_cache.h"
#include "support/gl_test_env.h"

namespace kelvo {
namespace video {
namespace {

using beauty_test::Image;
using beauty_test::Rgb;

constexpr Rgb kSkin = {200, 150, 120};
constexpr Rgb kGrey = {170, 170, 170};  // neutral: fails the broad skin test

class BeautyEffectTest : public GLTest {
protected:
    void TearDown() override {
        effect.reset();
        if (target) target->UnInitFBO();
        GLTest::TearDown();
    }

    void SetUp() override {
        GLTest::SetUp();
        if (IsSkipped()) return;
        effect = std::make_unique<EffectGPUBeauty>();
        effect->setEnable(true);
    }

    // Runs the effect once on `input` into a target of the input's size.
    Image run(const Image& input) {
        if (!target || target->width != input.width || target->height != input.height) {
            if (target) target->UnInitFBO();
            target = beauty_test::makeTarget(input.width, input.height);
        }
        effect->setInputTexture(beauty_test::upload(input));
        effect->setOutputFBO(target);
        EXPECT_EQ(effect->Draw(beauty_test::anyFrame()), kDrawDone);
        return beauty_test::readImage(*target);
    }

    void withoutColorTables() {
        effect->setLightness(0.0f);
        effect->setRedness(0.0f);
    }

    float mixUniform(const char* name) {
        const GLuint program = effect->mixAllProgram()->programId();
        float value = NAN;
        const GLint location = glGetUniformLocation(program, name);
        if (location >= 0) glGetUniformfv(program, location, &value);
        return value;
    }
    int mixUniformInt(const char* name) {
        const GLuint program = effect->mixAllProgram()->programId();
        int value = -99;
        const GLint location = glGetUniformLocation(program, name);
        if (location >= 0) glGetUniformiv(program, location, &value);
        return value;
    }

    std::unique_ptr<EffectGPUBeauty> effect;
    std::shared_ptr<GLFBO> target;
};

TEST_F(BeautyEffectTest, DrawReportsMissingOutputDisabledAndMissingInput) {
    auto output = beauty_test::makeTarget(64, 48);
    target = output;

    EXPECT_EQ(effect->Draw(beauty_test::anyFrame()), kDrawNoOutput);
    effect->setOutputFBO(output);
    EXPECT_EQ(effect->Draw(nullptr), kDrawNoOutput);

    effect->setEnable(false);
    EXPECT_EQ(effect->Draw(beauty_test::anyFrame()), kDrawDisabled);
    EXPECT_FALSE(effect->halfFramebufferA()) << "a disabled draw takes no framebuffer";

    effect->setEnable(true);
    EXPECT_EQ(effect->Draw(beauty_test::anyFrame()), kDrawNoInputTexture);
    ASSERT_TRUE(effect->halfFramebufferA()) << "the half-size targets are secured first";
    EXPECT_EQ(effect->halfFramebufferA()->width, 32);
    EXPECT_EQ(effect->halfFramebufferA()->height, 24);
}

TEST_F(BeautyEffectTest, DrawAfterReleaseFailsUntilInitAgain) {
    const Image input = beauty_test::noisyPatch(16, 16, kSkin, 0);
    run(input);
    effect->release();
    effect->release();
    EXPECT_EQ(effect->Draw(beauty_test::anyFrame()), kDrawFailed);
    effect->init();
    run(input);
}

TEST_F(BeautyEffectTest, HalfSizeTargetsFollowTheOutputSizeAndGoBackToThePool) {
    FramebufferCache* cache = FramebufferCache::instance();
    run(beauty_test::noisyPatch(1281, 721, kSkin, 0));
    auto a = effect->halfFramebufferA();
    auto b = effect->halfFramebufferB();
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->width, 640);  // truncated half of 1281
    EXPECT_EQ(a->height, 360);
    EXPECT_EQ(b->width, 640);
    EXPECT_EQ(b->height, 360);
    EXPECT_FLOAT_EQ(mixUniform("widthOffset"), 1.0f / 1281);
    EXPECT_FLOAT_EQ(mixUniform("heightOffset"), 1.0f / 721);

    run(beauty_test::noisyPatch(1280, 720, kSkin, 0));
    EXPECT_EQ(effect->halfFramebufferA(), a) << "same half size keeps the targets";

    const int idleBefore = std::max(0, cache->countForSize("640x360"));
    run(beauty_test::noisyPatch(640, 480, kSkin, 0));
    EXPECT_EQ(effect->halfFramebufferA()->width, 320);
    EXPECT_EQ(effect->halfFramebufferB()->height, 240);
    EXPECT_EQ(cache->countForSize("640x360"), idleBefore + 2);
}

TEST_F(BeautyEffectTest, OnePixelOutputStillDraws) {
    withoutColorTables();
    const Image input = beauty_test::noisyPatch(1, 1, kSkin, 0);
    const Image out = run(input);
    EXPECT_EQ(effect->halfFramebufferA()->width, 1);
    EXPECT_EQ(effect->halfFramebufferA()->height, 1);
    // 2 levels: a flat picture only meets the 0.1111 tap weight (0.9999 x 9).
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(out.at(0, 0)[c], input.at(0, 0)[c], 2);
}

TEST_F(BeautyEffectTest, MixUniformsFollowTheParameters) {
    struct Row {
        const char* name;
        float smoothness, sharpness, lightness, redness;
        int noiseLevel;
        float blurAlpha, sharpen, whiteDegree, ruddyDegree;
    } rows[] = {
        {"defaults", 0.5f, 0.3f, 0.3f, 0.3f, 0, 0.7071068f, 0.09f, 0.3f, 0.0441f},
        // (0.3 x 0.9)^2 and (1.0 x 0.7)^2
        {"noise level 1", 0.25f, 0.3f, 1.0f, 1.0f, 1, 0.5f, 0.0729f, 1.0f, 0.49f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        effect->setSmoothness(row.smoothness);
        effect->setSharpness(row.sharpness);
        effect->setLightness(row.lightness);
        effect->setRedness(row.redness);
        effect->setNoiseLevel(row.noiseLevel);
        run(beauty_test::noisyPatch(32, 32, kSkin, 0));
        EXPECT_FLOAT_EQ(mixUniform("blurAlpha"), row.blurAlpha);
        EXPECT_FLOAT_EQ(mixUniform("sharpen"), row.sharpen);
        EXPECT_FLOAT_EQ(mixUniform("whiteDegree"), row.whiteDegree);
        EXPECT_FLOAT_EQ(mixUniform("ruddyDegree"), row.ruddyDegree);
        EXPECT_EQ(mixUniformInt("noiseLevel"), row.noiseLevel);
        EXPECT_FLOAT_EQ(mixUniform("lightStrength"), 130.0f);
        EXPECT_FLOAT_EQ(mixUniform("widthOffset"), 1.0f / 32);
        const bool tables = effect->whitenTable() && effect->ruddyTable();
        EXPECT_EQ(mixUniformInt("enableLut"), tables ? 1 : 0);
    }
}

TEST_F(BeautyEffectTest, TableGradingsNeedBothTables) {
    auto table = std::make_shared<GLTexture>();
    effect->setTables(table, nullptr);
    run(beauty_test::noisyPatch(16, 16, kSkin, 0));
    EXPECT_EQ(mixUniformInt("enableLut"), 0);
    effect->setTables(table, table);
    run(beauty_test::noisyPatch(16, 16, kSkin, 0));
    EXPECT_EQ(mixUniformInt("enableLut"), 1);
}

TEST_F(BeautyEffectTest, AllStrengthsZeroReproducesTheInput) {
    effect->setSmoothness(0.0f);
    effect->setSharpness(0.0f);
    effect->setLightness(0.0f);
    effect->setRedness(0.0f);
    effect->setNoiseLevel(2);  // smoothing ungated everywhere, still weight 0
    Image input = beauty_test::noisyPatch(96, 64, kSkin, 40, 7);
    const Image grey = beauty_test::noisyPatch(96, 64, kGrey, 40, 8);
    for (int y = 0; y < 64; ++y) {
        for (int x = 48; x < 96; ++x) {
            for (int c = 0; c < 4; ++c) input.at(x, y)[c] = grey.at(x, y)[c];
        }
    }
    const Image out = run(input);
    int worst = 0;
    for (size_t i = 0; i < out.rgba.size(); ++i) {
        worst = std::max(worst, std::abs(out.rgba[i] - input.rgba[i]));
    }
    // 1 level: unorm rounding of the full-float result.
    EXPECT_LE(worst, 1);
}

// Noise shared by the three channels keeps every pixel in its hue class.
struct PatchRow {
    const char* name;
    Rgb colour;
    float lightStrength;
    int noiseLevel;
    bool smoothed;
};

void PrintTo(const PatchRow& row, std::ostream* os) { *os << row.name; }

class BeautyPatchTest : public BeautyEffectTest, public ::testing::WithParamInterface<PatchRow> {};

TEST_P(BeautyPatchTest, VarianceDropsOnlyWhereSmoothingApplies) {
    const PatchRow& row = GetParam();
    effect->setLightStrength(row.lightStrength);
    effect->setNoiseLevel(row.noiseLevel);
    const Image input = beauty_test::noisyPatch(128, 128, row.colour, 12, 3);
    const Image out = run(input);
    // The margin keeps the blur's reach (about 12 pixels) off the border.
    const double ratio =
        beauty_test::channelVariance(out, 1, 16) / beauty_test::channelVariance(input, 1, 16);
    std::printf("[ %s ] green variance ratio out/in = %.3f\n", row.name, ratio);
    if (row.smoothed) {
        EXPECT_LT(ratio, 0.5);
    } else {
        // Only sharpening (and the colour tables) act: detail stays or grows.
        EXPECT_GT(ratio, 0.9);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BeautyPatchTest,
    ::testing::Values(PatchRow{"SkinWithDefaults", kSkin, 130.0f, 0, true},
                      PatchRow{"NonSkinWithDefaults", kGrey, 130.0f, 0, false},
                      PatchRow{"NonSkinAtNoiseLevelOne", kGrey, 130.0f, 1, true},
                      PatchRow{"NonSkinInLowlight", kGrey, 80.0f, 0, true},
                      PatchRow{"BrightNeutralSkinAtNinety", {240, 232, 205}, 90.0f, 0, true},
                      PatchRow{"BrightNeutralSkinWithDefaults", {240, 232, 205}, 130.0f, 0, false}),
    [](const ::testing::TestParamInfo<PatchRow>& info) { return std::string(info.param.name); });

TEST_F(BeautyEffectTest, EdgeBetweenFlatSkinRegionsStaysSharp) {
    withoutColorTables();
    effect->setSmoothness(1.0f);
    const Rgb dark = {150, 100, 70};  // passes the skin test too, so both sides are smoothed
    Image input = beauty_test::noisyPatch(96, 32, kSkin, 0);
    for (int y = 0; y < 32; ++y) {
        for (int x = 48; x < 96; ++x) {
            uint8_t* p = input.at(x, y);
            p[0] = dark.r;
            p[1] = dark.g;
            p[2] = dark.b;
        }
    }
    const Image out = run(input);
    const int y = 16;
    // A plain 25-tap box blur would leave about a twelfth of the step
    // between neighbouring columns; edge-aware weights keep most of it.
    const int inStep = input.at(47, y)[0] - input.at(48, y)[0];
    const int outStep = out.at(47, y)[0] - out.at(48, y)[0];
    EXPECT_GE(outStep, inStep * 8 / 10);
    for (int x = 0; x < 96; ++x) {
        for (int c = 0; c < 3; ++c) {
            // 12 levels: the departure map caps the weight near the edge at
            // about 0.09 of the step (70 levels), plus sharpening's overshoot.
            EXPECT_NEAR(out.at(x, y)[c], input.at(x, y)[c], 12) << "x " << x << " channel " << c;
        }
    }
}

// Trilinear lookup in a decoded table, as the cube layout defines it.
void lookUp(const ARGBFrame& table, const double in[3], double out[3]) {
    const double r = in[0] * 63.0, g = in[1] * 63.0, b = in[2] * 63.0;
    const int r0 = static_cast<int>(std::floor(r)), g0 = static_cast<int>(std::floor(g));
    const int b0 = static_cast<int>(std::floor(b));
    const int r1 = std::min(r0 + 1, 63), g1 = std::min(g0 + 1, 63), b1 = std::min(b0 + 1, 63);
    const double fr = r - r0, fg = g - g0, fb = b - b0;
    auto texel = [&](int x, int y, int k, int c) {
        const int px = 64 * (k % 8) + x, py = 64 * (k / 8) + y;
        return table.data()[(static_cast<size_t>(py) * 512 + px) * 4 + c] / 255.0;
    };
    for (int c = 0; c < 3; ++c) {
        double tile[2];
        const int ks[2] = {b0, b1};
        for (int t = 0; t < 2; ++t) {
            const int k = ks[t];
            const double top = texel(r0, g0, k, c) * (1 - fr) + texel(r1, g0, k, c) * fr;
            const double bottom = texel(r0, g1, k, c) * (1 - fr) + texel(r1, g1, k, c) * fr;
            tile[t] = top * (1 - fg) + bottom * fg;
        }
        out[c] = tile[0] * (1 - fb) + tile[1] * fb;
    }
}

TEST_F(BeautyEffectTest, LightnessAndRednessFollowTheirTables) {
    const auto whiten = loadLutTable(kWhiteningLutId);
    const auto ruddy = loadLutTable(kRuddyLutId);
    if (!whiten || !ruddy || !effect->whitenTable() || !effect->ruddyTable()) {
        GTEST_SKIP() << "lookup tables not embedded in this build";
    }
    effect->setSmoothness(0.0f);
    effect->setSharpness(0.0f);
    const Image input = beauty_test::noisyPatch(16, 16, kSkin, 0);
    const double in[3] = {kSkin.r / 255.0, kSkin.g / 255.0, kSkin.b / 255.0};

    struct Row {
        const char* name;
        float lightness, redness;
    } rows[] = {{"lightness", 1.0f, 0.0f}, {"redness", 0.0f, 1.0f}, {"both", 0.5f, 0.5f}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        effect->setLightness(row.lightness);
        effect->setRedness(row.redness);
        const Image out = run(input);
        const double ruddyDegree = std::pow(row.redness * 0.7, 2.0);
        double graded[3], mid[3], expected[3];
        lookUp(*ruddy, in, graded);
        for (int c = 0; c < 3; ++c) mid[c] = in[c] + ruddyDegree * (graded[c] - in[c]);
        lookUp(*whiten, mid, graded);
        for (int c = 0; c < 3; ++c) {
            expected[c] = 255.0 * (mid[c] + row.lightness * (graded[c] - mid[c]));
            // 2 levels: 8-bit tables, fixed-point filter weights, target rounding.
            EXPECT_NEAR(out.at(8, 8)[c], expected[c], 2.0) << "channel " << c;
        }
        // Both tables lift a skin tone.
        EXPECT_GT(out.at(8, 8)[1], kSkin.g);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
