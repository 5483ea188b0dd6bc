// The CPU beauty effect against the GL effect on the real driver, frame by
// frame, like libyuv's C-versus-optimised tests: same input, same parameters,
// statistics of the per-channel differences.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "beauty/beauty_test_util.h"
#include "effects/beauty/cpu/beauty.h"
#include "effects/beauty/gl/effect_gpu_beauty.h"
#include "effects/lut_loader.h"
#include "support/gl_test_env.h"
#include "tests/cpu/cpu_test_util.h"

namespace kelvo::video {
namespace {

using beauty_test::Image;

// The CPU path reproduces the Mesa driver's fixed-point texture filter and
// float order, so these frames agree exactly there. The bounds are the
// backends' contract (cpu_test_util.h), room for a driver whose float
// rounding differs or a level step that crosses a band or skin-test edge.

enum class Picture { kNatural, kSkinEdges, kTableSweep };

// Gradients, noise and an oval skin-coloured patch with a darker eye band.
Image natural(int width, int height, uint32_t seed) {
    Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>((state >> 24) % 13) - 6;
            const double u = (x + 0.5) / width;
            const double v = (y + 0.5) / height;
            int r = static_cast<int>(40 + 150 * u), g = static_cast<int>(60 + 120 * v),
                b = static_cast<int>(200 - 140 * u * v);
            const double dx = (u - 0.5) / 0.3;
            const double dy = (v - 0.5) / 0.4;
            if (dx * dx + dy * dy < 1.0) {
                r = 205, g = 152, b = 124;
                if (std::fabs(v - 0.42) < 0.04) r = 120, g = 80, b = 64;
            }
            uint8_t* p = image.at(x, y);
            p[0] = beauty_test::clampByte(r + noise);
            p[1] = beauty_test::clampByte(g + noise);
            p[2] = beauty_test::clampByte(b + noise);
            p[3] = 255;
        }
    }
    return image;
}

// Colours on either side of every bound of both skin tests, in small blocks
// so the blurs see them too.
Image skinEdges(int width, int height, uint32_t seed) {
    static const beauty_test::Rgb kColors[] = {
        {95, 40, 20},    {94, 40, 20},    {200, 40, 20},   {200, 39, 20},   {200, 150, 20},
        {200, 150, 19},  {100, 85, 40},   {100, 84, 40},   {150, 135, 120}, {150, 150, 150},
        {221, 210, 171}, {220, 210, 171}, {230, 211, 171}, {230, 210, 170}, {240, 226, 200},
        {240, 225, 200}, {225, 225, 170}, {255, 255, 255}, {0, 0, 0},       {205, 152, 124}};
    Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int block = (x / 5 + (y / 5) * 7) % 20;
            state = state * 1664525u + 1013904223u;
            const beauty_test::Rgb c = kColors[(block + ((state >> 28) == 0 ? 1 : 0)) % 20];
            uint8_t* p = image.at(x, y);
            p[0] = static_cast<uint8_t>(c.r), p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.b), p[3] = 255;
        }
    }
    return image;
}

// Every blue level along x (so every table tile and both tile ends), red and
// green sweeping the tile's texels along y, with a little noise.
Image tableSweep(int width, int height, uint32_t seed) {
    Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            uint8_t* p = image.at(x, y);
            p[0] = static_cast<uint8_t>((y * 37 + (state >> 30)) & 255);
            p[1] = static_cast<uint8_t>((y * 91 + 255 - x) & 255);
            p[2] = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
            p[3] = 255;
        }
    }
    return image;
}

struct Case {
    const char* name;
    Picture picture;
    int width, height;
    BeautyParameters parameters;
};

BeautyParameters with(float smoothness, float sharpness, float lightness, float redness,
                      float lightStrength = 130.0f, int noiseLevel = 0) {
    BeautyParameters p;
    p.smoothness = smoothness, p.sharpness = sharpness, p.lightness = lightness;
    p.redness = redness, p.lightStrength = lightStrength, p.noiseLevel = noiseLevel;
    return p;
}

const Case kCases[] = {
    {"defaults_even", Picture::kNatural, 128, 96, BeautyParameters{}},
    {"defaults_larger", Picture::kNatural, 322, 181, BeautyParameters{}},
    {"defaults_hd_plus_one", Picture::kNatural, 1281, 721, BeautyParameters{}},
    {"defaults_odd", Picture::kNatural, 131, 77, BeautyParameters{}},
    {"strong", Picture::kNatural, 160, 90, with(1.0f, 1.0f, 1.0f, 1.0f)},
    {"ungated_noise_level", Picture::kNatural, 97, 64, with(0.8f, 0.5f, 0.2f, 0.6f, 130.0f, 1)},
    {"second_skin_test", Picture::kSkinEdges, 70, 45, with(0.9f, 0.2f, 0.4f, 0.3f, 90.0f)},
    {"dim_light_ungated", Picture::kNatural, 64, 63, with(0.7f, 0.3f, 0.0f, 0.0f, 60.0f)},
    {"skin_test_bounds", Picture::kSkinEdges, 101, 50, with(1.0f, 0.45f, 0.0f, 0.0f)},
    {"table_tiles", Picture::kTableSweep, 256, 40, with(0.0f, 0.0f, 1.0f, 1.0f)},
    {"table_tiles_mixed", Picture::kTableSweep, 255, 33, with(0.6f, 0.3f, 0.5f, 0.8f)},
    {"all_zero", Picture::kNatural, 40, 30, with(0.0f, 0.0f, 0.0f, 0.0f)},
    {"one_pixel", Picture::kNatural, 1, 1, BeautyParameters{}},
    {"one_column", Picture::kNatural, 1, 37, BeautyParameters{}},
    {"two_by_three", Picture::kSkinEdges, 2, 3, with(1.0f, 1.0f, 0.5f, 0.5f)},
    {"one_row", Picture::kSkinEdges, 45, 1, with(1.0f, 0.6f, 0.5f, 0.5f)},
};

// Per channel, the contract's statistics of |cpu - gl|.
void expectAgreement(ConstImageRGBA8 cpu, const Image& gl, const char* what) {
    ASSERT_EQ(cpu.width, gl.width);
    ASSERT_EQ(cpu.height, gl.height);
    for (int channel = 0; channel < 4; ++channel) {
        const cputest::DiffStats s = cputest::diffStats(
            cpu.data, cpu.stride, gl.rgba.data(), 4 * gl.width, cpu.width, cpu.height, 4, channel);
        SCOPED_TRACE(::testing::Message()
                     << what << ", channel " << channel << ": " << cputest::describe(s));
        cputest::expectWithinContract(s);
    }
}

class CpuBeautyAgreementTest : public GLTest, public ::testing::WithParamInterface<Case> {};

TEST_P(CpuBeautyAgreementTest, MatchesTheGLEffect) {
    if (IsSkipped()) return;
    const Case& c = GetParam();
    const Image input = c.picture == Picture::kNatural     ? natural(c.width, c.height, 7)
                        : c.picture == Picture::kSkinEdges ? skinEdges(c.width, c.height, 7)
                                                           : tableSweep(c.width, c.height, 7);

    auto target = beauty_test::makeTarget(c.width, c.height);
    Image gl, glHalf;
    {
        EffectGPUBeauty effect;
        effect.setEnable(true);
        effect.setSmoothness(c.parameters.smoothness);
        effect.setSharpness(c.parameters.sharpness);
        effect.setLightness(c.parameters.lightness);
        effect.setRedness(c.parameters.redness);
        effect.setContrast(c.parameters.contrast);
        effect.setLightStrength(c.parameters.lightStrength);
        effect.setNoiseLevel(c.parameters.noiseLevel);
        effect.setInputTexture(beauty_test::upload(input));
        effect.setOutputFBO(target);
        ASSERT_EQ(effect.Draw(beauty_test::anyFrame()), kDrawDone);
        gl = beauty_test::readImage(*target);
        glHalf = beauty_test::readImage(*effect.halfFramebufferB());
    }
    target->UnInitFBO();

    Beauty beauty;
    auto whiten = loadLutTable(kWhiteningLutId);
    auto ruddy = loadLutTable(kRuddyLutId);
    ASSERT_TRUE(whiten && ruddy);
    ASSERT_TRUE(
        beauty.setTables({whiten->data(), whiten->stride(), whiten->width(), whiten->height()},
                         {ruddy->data(), ruddy->stride(), ruddy->width(), ruddy->height()}));
    beauty.setParameters(c.parameters);
    std::vector<uint8_t> out(input.rgba.size());
    ASSERT_EQ(beauty.process({input.rgba.data(), c.width * 4, c.width, c.height},
                             {out.data(), c.width * 4, c.width, c.height}),
              0);

    expectAgreement({out.data(), c.width * 4, c.width, c.height}, gl, "output");
    expectAgreement(beauty.blurredHalf(), glHalf, "blurred half");
}

INSTANTIATE_TEST_SUITE_P(Frames, CpuBeautyAgreementTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace kelvo::video
