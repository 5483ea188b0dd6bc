#include "effects/beauty/gl/gpu_beauty_programs.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "beauty/beauty_test_util.h"
#include "support/gl_test_env.h"

namespace kelvo {
namespace video {
namespace {

using beauty_test::Image;
using beauty_test::Rgb;

float uniformFloat(const GLProgram& program, const char* name) {
    float value = NAN;
    const GLint location = glGetUniformLocation(program.programId(), name);
    if (location >= 0) glGetUniformfv(program.programId(), location, &value);
    return value;
}

class BeautyProgramsTest : public GLTest {};

TEST_F(BeautyProgramsTest, FloatSettersDropValuesOutsideTheirRange) {
    GPUBeautyMixAllProgram mix;
    struct Row {
        const char* uniform;
        void (GPUBeautyMixAllProgram::*set)(float);
    } rows[] = {
        {"blurAlpha", &GPUBeautyMixAllProgram::setBlurAlpha},
        {"sharpen", &GPUBeautyMixAllProgram::setSharpen},
        {"whiteDegree", &GPUBeautyMixAllProgram::setWhiteDegree},
        {"ruddyDegree", &GPUBeautyMixAllProgram::setRuddyDegree},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.uniform);
        (mix.*row.set)(0.5f);
        (mix.*row.set)(1.01f);
        EXPECT_EQ(uniformFloat(mix, row.uniform), 0.5f);
        (mix.*row.set)(1.0f);
        EXPECT_EQ(uniformFloat(mix, row.uniform), 1.0f);
        (mix.*row.set)(-0.01f);
        EXPECT_EQ(uniformFloat(mix, row.uniform), 1.0f);
        (mix.*row.set)(-0.0009f);
        EXPECT_EQ(uniformFloat(mix, row.uniform), -0.0009f);
    }
    mix.setLightStrength(250.0f);  // no range test
    EXPECT_EQ(uniformFloat(mix, "lightStrength"), 250.0f);
    // The mix stage has no contrast step, so setContrast has nothing to set.
    EXPECT_EQ(glGetUniformLocation(mix.programId(), "contrast"), -1);
}

// One mix pass over a flat source and a flat "blurred" input whose alpha is
// the departure measure; sharpening and tables off.
struct SoftenRow {
    const char* name;
    Rgb src;
    Rgb mean;
    int departure;  // alpha byte of the blurred input
    float blurAlpha;
    float lightStrength;
    int noiseLevel;
};

void PrintTo(const SoftenRow& row, std::ostream* os) { *os << row.name; }

// The smoothing weight as the mix stage defines it, computed on the CPU.
double expectedWeight(const SoftenRow& row) {
    const double r = row.src.r / 255.0;
    const double g = row.src.g / 255.0;
    const double b = row.src.b / 255.0;
    const double meanR = row.mean.r / 255.0;
    const double a = row.departure / 255.0;
    bool skin;
    if (row.lightStrength > 90.0f) {
        const double spread = std::fmax(r, std::fmax(g, b)) - std::fmin(r, std::fmin(g, b));
        skin = r > 0.371 && g > 0.156 && b > 0.078 && spread > 0.059 && std::fabs(r - g) > 0.059 &&
               r > g && r > b;
    } else {
        skin = r > 0.863 && g > 0.823 && b > 0.666 && std::fabs(r - g) <= 0.059 && r > b && g > b;
    }
    const double p = std::fmin(1.0, std::fmax(0.0, (std::fmin(r, meanR - 0.1) - 0.2) * 4.0));
    double k = (1.0 - a / (a + 0.1)) * p * row.blurAlpha;
    k *= k > 0.8 ? 1.0 : k > 0.5 ? 0.9 : k > 0.1 ? 0.5 : 0.08;
    if (row.noiseLevel < 1 && row.lightStrength >= 90.0f && !skin) k = 0.0;
    return k;
}

class BeautySoftenMixTest : public GLTest, public ::testing::WithParamInterface<SoftenRow> {};

TEST_P(BeautySoftenMixTest, MixesTowardsTheMeanByTheEdgeAwareWeight) {
    const SoftenRow& row = GetParam();
    auto src = beauty_test::upload(beauty_test::noisyPatch(16, 16, row.src, 0));
    Image blurImage = beauty_test::noisyPatch(8, 8, row.mean, 0);
    for (int i = 3; i < static_cast<int>(blurImage.rgba.size()); i += 4) {
        blurImage.rgba[i] = static_cast<uint8_t>(row.departure);
    }
    auto blur = beauty_test::upload(blurImage);
    auto target = beauty_test::makeTarget(16, 16);
    {
        GPUBeautyMixAllProgram mix;
        target->bindFrameBuffer();
        mix.setMixTextures(src, blur, nullptr, nullptr);
        mix.setOffset(1.0f / 16, 1.0f / 16);
        mix.setBlurAlpha(row.blurAlpha);
        mix.setSharpen(0.0f);
        mix.setLightStrength(row.lightStrength);
        mix.setNoiseLevel(row.noiseLevel);
        mix.setFrequencyRange();
        mix.setEnableLut(0);
        mix.draw();
        target->unbindFrameBuffer();
    }
    const Image out = beauty_test::readImage(*target);
    const double k = expectedWeight(row);
    const int in[3] = {row.src.r, row.src.g, row.src.b};
    const int mean[3] = {row.mean.r, row.mean.g, row.mean.b};
    for (int c = 0; c < 3; ++c) {
        // 1 level: rounding of the 8-bit target; the weight is computed from
        // the exact stored bytes.
        EXPECT_NEAR(out.at(8, 8)[c], in[c] + k * (mean[c] - in[c]), 1.0) << "channel " << c;
    }
    EXPECT_EQ(out.at(8, 8)[3], 255);
    target->UnInitFBO();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BeautySoftenMixTest,
    ::testing::Values(
        SoftenRow{
            "SkinOnFlatAreaTakesTheMean", {200, 150, 120}, {180, 140, 110}, 0, 1.0f, 130.0f, 0},
        SoftenRow{
            "DepartureLowersTheWeight", {200, 150, 120}, {180, 140, 110}, 26, 1.0f, 130.0f, 0},
        SoftenRow{
            "MiddleBandScalesByPointNine", {200, 150, 120}, {180, 140, 110}, 0, 0.6f, 130.0f, 0},
        SoftenRow{
            "NonSkinIsGatedWithDefaults", {170, 170, 170}, {150, 150, 150}, 0, 1.0f, 130.0f, 0},
        SoftenRow{
            "NoiseLevelOneUngatesNonSkin", {170, 170, 170}, {150, 150, 150}, 0, 1.0f, 130.0f, 1},
        SoftenRow{"LowlightUngatesNonSkin", {170, 170, 170}, {150, 150, 150}, 0, 1.0f, 80.0f, 0},
        SoftenRow{"DarkRedIsNeverSmoothed", {45, 30, 20}, {120, 90, 70}, 0, 1.0f, 80.0f, 1},
        SoftenRow{"DarkMeanIsNeverSmoothed", {200, 150, 120}, {76, 60, 50}, 0, 1.0f, 130.0f, 0},
        SoftenRow{
            "AtNinetyBrightNeutralSkinPasses", {240, 232, 205}, {220, 212, 190}, 0, 1.0f, 90.0f, 0},
        SoftenRow{
            "AtNinetyOrdinarySkinIsGated", {200, 150, 120}, {180, 140, 110}, 0, 1.0f, 90.0f, 0}),
    [](const ::testing::TestParamInfo<SoftenRow>& info) { return std::string(info.param.name); });

// A 512x512 table image of the 64-level cube whose entry at (r, g, b) levels
// is f(r, g, b) in levels.
template <class F>
std::shared_ptr<GLTexture> cubeTable(F f) {
    Image table{512, 512, std::vector<uint8_t>(512 * 512 * 4)};
    for (int k = 0; k < 64; ++k) {
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const Rgb v = f(x, y, k);
                uint8_t* p = table.at(64 * (k % 8) + x, 64 * (k / 8) + y);
                p[0] = static_cast<uint8_t>(std::lround(v.r * 255.0 / 63.0));
                p[1] = static_cast<uint8_t>(std::lround(v.g * 255.0 / 63.0));
                p[2] = static_cast<uint8_t>(std::lround(v.b * 255.0 / 63.0));
                p[3] = 255;
            }
        }
    }
    return beauty_test::upload(table);
}

struct LutRow {
    const char* name;
    Rgb src;
};

void PrintTo(const LutRow& row, std::ostream* os) { *os << row.name; }

class BeautyLutTest : public GLTest, public ::testing::WithParamInterface<LutRow> {};

// Rotating the channels in the whitening table shows each channel addresses
// its own axis (red along x, green down the rows, blue the tile); a constant
// ruddy table shows it is applied first, since the whitening one acts on its
// output.
TEST_P(BeautyLutTest, TablesAddressTheCubeAndApplyRuddyFirst) {
    const LutRow& row = GetParam();
    auto rotate = cubeTable([](int r, int g, int b) { return Rgb{g, b, r}; });
    auto constant = cubeTable([](int, int, int) { return Rgb{50, 25, 10}; });
    auto src = beauty_test::upload(beauty_test::noisyPatch(8, 8, row.src, 0));
    auto blur = beauty_test::upload(beauty_test::noisyPatch(4, 4, row.src, 0));
    auto target = beauty_test::makeTarget(8, 8);
    GPUBeautyMixAllProgram mix;
    auto drawWith = [&](float ruddyDegree) {
        target->bindFrameBuffer();
        mix.setMixTextures(src, blur, rotate, constant);
        mix.setOffset(1.0f / 8, 1.0f / 8);
        mix.setBlurAlpha(0.0f);
        mix.setSharpen(0.0f);
        mix.setLightStrength(130.0f);
        mix.setNoiseLevel(0);
        mix.setFrequencyRange();
        mix.setRuddyDegree(ruddyDegree);
        mix.setWhiteDegree(1.0f);
        mix.setEnableLut(1);
        mix.draw();
        target->unbindFrameBuffer();
        return beauty_test::readImage(*target);
    };
    // The rotation table is linear in the levels, so its interpolation is
    // exact: 2 levels cover the tables' and the target's 8-bit rounding and
    // the filter's fixed-point weights.
    const Image rotated = drawWith(0.0f);
    EXPECT_NEAR(rotated.at(4, 4)[0], row.src.g, 2);
    EXPECT_NEAR(rotated.at(4, 4)[1], row.src.b, 2);
    EXPECT_NEAR(rotated.at(4, 4)[2], row.src.r, 2);

    const Image ruddyThenWhiten = drawWith(1.0f);
    const Rgb c = {50 * 255 / 63, 25 * 255 / 63, 10 * 255 / 63};  // constant table, in bytes
    EXPECT_NEAR(ruddyThenWhiten.at(4, 4)[0], c.g, 2);
    EXPECT_NEAR(ruddyThenWhiten.at(4, 4)[1], c.b, 2);
    EXPECT_NEAR(ruddyThenWhiten.at(4, 4)[2], c.r, 2);
    target->UnInitFBO();
}

INSTANTIATE_TEST_SUITE_P(Colours, BeautyLutTest,
                         ::testing::Values(LutRow{"SkinTone", {200, 150, 120}},
                                           LutRow{"BlueZeroUsesTheFirstTile", {180, 90, 0}},
                                           LutRow{"BlueOneUsesTheLastTile", {30, 220, 255}},
                                           LutRow{"BetweenTwoBlueLevels", {64, 128, 130}}),
                         [](const ::testing::TestParamInfo<LutRow>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace video
}  // namespace kelvo
