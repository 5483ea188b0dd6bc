#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "effects/color_enhance/gl/effect_color_enhance.h"
#include "effects/lut_loader.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"
#include "support/gl_test_env.h"

namespace kelvo {
namespace video {
namespace {

struct Rgb {
    int r, g, b;
};

struct Lab {
    double L, a, b;
    double chroma() const { return std::hypot(a, b); }
    double hueDegrees() const { return std::atan2(b, a) * 180.0 / M_PI; }
};

// sRGB (BT.709 primaries, D65) to CIE Lab with the exact textbook constants.
Lab toLab(const Rgb& c) {
    auto linear = [](int v) {
        double x = v / 255.0;
        return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    };
    double r = linear(c.r), g = linear(c.g), b = linear(c.b);
    double X = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
    double Y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
    double Z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
    auto f = [](double t) {
        return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0;
    };
    return {116.0 * f(Y) - 16.0, 500.0 * (f(X) - f(Y)), 200.0 * (f(Y) - f(Z))};
}

// The chroma the effect aims for: boost curve of the chroma share u = c / 90.
double boostedChroma(double c, double strength, double withheld) {
    double u = std::min(c / 90.0, 1.0);
    double delta = u <= 0.15 ? 0.1275 / std::pow(0.15, 2.5) * std::pow(u, 2.5) : (1.0 - u) * u;
    return c + delta * strength * 100.0 * (1.0 - withheld);
}

class ColorEnhanceTest : public GLTest {
protected:
    // Draws the colours as a one-row image and returns them as read back.
    std::vector<Rgb> run(const std::vector<Rgb>& colors) {
        const int width = static_cast<int>(colors.size());
        std::vector<uint8_t> pixels;
        for (const Rgb& c : colors) {
            pixels.insert(pixels.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b), 255});
        }
        auto input = std::make_shared<GLTexture>();
        input->Load(pixels.data(), 0, width, 1, GL_RGBA);
        auto output = std::make_shared<GLFBO>();
        output->InitFBO(width, 1);
        effect->setInputTexture(input);
        effect->setOutputFBO(output);
        EXPECT_EQ(effect->Draw(nullptr), kDrawDone);
        std::vector<uint8_t> back = readBack(*output);
        output->UnInitFBO();
        std::vector<Rgb> result;
        for (int i = 0; i < width; ++i) {
            result.push_back({back[i * 4], back[i * 4 + 1], back[i * 4 + 2]});
        }
        return result;
    }

    void SetUp() override {
        GLTest::SetUp();
        if (IsSkipped()) return;
        effect = std::make_unique<EffectColorEnhance>();
        effect->setEnable(true);
    }
    void TearDown() override {
        effect.reset();
        GLTest::TearDown();
    }

    std::unique_ptr<EffectColorEnhance> effect;
};

int maxChannelDifference(const Rgb& x, const Rgb& y) {
    return std::max({std::abs(x.r - y.r), std::abs(x.g - y.g), std::abs(x.b - y.b)});
}

// Skin-table entry at a lattice point of the 64-level cube.
int skinEntry(const ARGBFrame& table, int r, int g, int b) {
    int x = (b % 8) * 64 + r;
    int y = (b / 8) * 64 + g;
    return table.data()[(y * 512 + x) * 4];
}

// The Lab conversion there and back uses rounded constants; with 8-bit
// quantisation of the output that moves a channel by at most 2 levels.
constexpr int kRoundTripLevels = 2;

TEST_F(ColorEnhanceTest, LeavesNeutralGreysAndHighChromaColorsUnchanged) {
    std::vector<Rgb> colors = {{0, 0, 0},   {40, 40, 40}, {128, 128, 128}, {255, 255, 255},
                               {255, 0, 0}, {0, 0, 255},  {0, 255, 0},     {255, 0, 255}};
    for (const Rgb& c : colors) {
        double chroma = toLab(c).chroma();
        ASSERT_TRUE(chroma < 0.01 || chroma >= 90.0) << c.r << "," << c.g << "," << c.b;
    }
    std::vector<Rgb> out = run(colors);
    for (size_t i = 0; i < colors.size(); ++i) {
        EXPECT_LE(maxChannelDifference(out[i], colors[i]), kRoundTripLevels)
            << "colour " << colors[i].r << "," << colors[i].g << "," << colors[i].b;
    }
}

TEST_F(ColorEnhanceTest, StrengthZeroIsTheIdentityAcrossTheColorCube) {
    effect->setStrength(0.0f);
    std::vector<Rgb> colors;
    for (int r = 0; r < 256; r += 17)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 17) colors.push_back({r, g, b});
    std::vector<Rgb> out = run(colors);
    int worst = 0;
    for (size_t i = 0; i < colors.size(); ++i) {
        worst = std::max(worst, maxChannelDifference(out[i], colors[i]));
    }
    EXPECT_LE(worst, kRoundTripLevels);
}

TEST_F(ColorEnhanceTest, RaisesModerateNonSkinChromaAlongTheCurveKeepingHueAndLightness) {
    std::shared_ptr<ARGBFrame> table = loadLutTable(kSkinLutId);
    ASSERT_TRUE(table);
    // Lattice colours (multiples of 85 = 21 levels), so the table is read at
    // one entry; all of them are moderately coloured non-skin.
    std::vector<Rgb> colors = {{85, 170, 170}, {85, 85, 170}, {170, 170, 85}, {85, 170, 85}};
    std::vector<Rgb> out = run(colors);
    for (size_t i = 0; i < colors.size(); ++i) {
        Lab in = toLab(colors[i]);
        Lab got = toLab(out[i]);
        double skin =
            skinEntry(*table, colors[i].r / 85 * 21, colors[i].g / 85 * 21, colors[i].b / 85 * 21) /
            255.0;
        ASSERT_LT(skin, 0.5) << "test colour is skin in the shipped table";
        double expected = boostedChroma(in.chroma(), 0.5, skin);
        SCOPED_TRACE(testing::Message() << "colour " << i << " chroma " << in.chroma());
        ASSERT_GT(expected - in.chroma(), 3.0);
        // One 8-bit output step moves a* or b* by up to about 1 unit.
        EXPECT_NEAR(got.chroma(), expected, 1.0);
        // The same step turns the hue by at most about 1 degree at chroma 35 and more.
        EXPECT_NEAR(got.hueDegrees(), in.hueDegrees(), 1.0);
        // L* is carried through unchanged; one output step moves it by under 0.5.
        EXPECT_NEAR(got.L, in.L, 0.5);
    }
}

TEST_F(ColorEnhanceTest, SkinProtectWithholdsTheBoostOnSkinTones) {
    std::shared_ptr<ARGBFrame> table = loadLutTable(kSkinLutId);
    ASSERT_TRUE(table);
    const Rgb skin = {200, 150, 120};
    // The shader blends the 8 lattice entries around the colour.
    for (int r : {49, 50})
        for (int g : {37, 38})
            for (int b : {29, 30}) ASSERT_EQ(skinEntry(*table, r, g, b), 255);
    const Lab in = toLab(skin);
    const double fullBoost = boostedChroma(in.chroma(), 0.5, 0.0);
    ASSERT_GT(fullBoost - in.chroma(), 5.0);

    effect->setSkinProtect(1.0f);
    // Quantisation alone moves chroma by up to about 1 unit.
    EXPECT_NEAR(toLab(run({skin})[0]).chroma(), in.chroma(), 1.0);

    effect->setSkinProtect(0.0f);
    EXPECT_NEAR(toLab(run({skin})[0]).chroma(), fullBoost, 1.0);

    effect->setSkinProtect(1.0f);
    effect->setSkinTable(nullptr);
    EXPECT_NEAR(toLab(run({skin})[0]).chroma(), fullBoost, 1.0)
        << "without a table no pixel is skin";
}

TEST_F(ColorEnhanceTest, ReportsMissingInputsAndDisabledStateBeforeDrawing) {
    auto input = std::make_shared<GLTexture>();
    auto output = std::make_shared<GLFBO>();
    output->InitFBO(4, 4);
    EXPECT_EQ(effect->Draw(nullptr), kDrawNoOutput);
    effect->setOutputFBO(output);
    EXPECT_EQ(effect->Draw(nullptr), kDrawNoInputTexture);
    effect->setInputTexture(input);
    effect->setEnable(false);
    EXPECT_EQ(effect->Draw(nullptr), kDrawDisabled);
    effect->setEnable(true);
    effect->release();
    effect->release();
    EXPECT_EQ(effect->Draw(nullptr), kDrawFailed) << "no program after release";
    effect->init();
    EXPECT_EQ(effect->Draw(nullptr), kDrawDone);
    output->UnInitFBO();
}

TEST_F(ColorEnhanceTest, UsesTheLowChromaGainThatJoinsBothCurveBranches) {
    float gain = effect->lowChromaGain();
    uint32_t bits;
    std::memcpy(&bits, &gain, sizeof bits);
    EXPECT_EQ(bits, 0x416A19AFu);
    EXPECT_EQ(effect->effectType, 202);
    EXPECT_EQ(effect->effectKind, kEffectKindGPUFilter);
    EXPECT_TRUE(effect->skinTable()) << "the embedded skin table loads";
}

}  // namespace
}  // namespace video
}  // namespace kelvo
