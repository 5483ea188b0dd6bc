#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "effects/lut_loader.h"

namespace kelvo::video {
namespace {

using Rgb = std::array<double, 3>;

// GL_LINEAR with clamp-to-edge on the 512x512 table at texture coordinate
// (s, t), t = 0 at the first image row.
Rgb texture(const ARGBFrame& lut, double s, double t) {
    const int n = lut.width();
    const double u = s * n - 0.5, v = t * n - 0.5;
    const int x0 = static_cast<int>(std::floor(u)), y0 = static_cast<int>(std::floor(v));
    const double fx = u - x0, fy = v - y0;
    auto texel = [&](int x, int y, int c) {
        x = std::clamp(x, 0, n - 1);
        y = std::clamp(y, 0, n - 1);
        return static_cast<double>(lut.data()[(static_cast<size_t>(y) * n + x) * 4 + c]);
    };
    Rgb out{};
    for (int c = 0; c < 3; ++c) {
        out[c] = (texel(x0, y0, c) * (1 - fx) + texel(x0 + 1, y0, c) * fx) * (1 - fy) +
                 (texel(x0, y0 + 1, c) * (1 - fx) + texel(x0 + 1, y0 + 1, c) * fx) * fy;
    }
    return out;
}

// The table's reading of an 8-bit colour, addressed as the shaders address it:
// two blue tiles, red and green inside a tile, blue interpolated between them.
Rgb lookup(const ARGBFrame& lut, int r8, int g8, int b8) {
    const double r = r8 / 255.0, g = g8 / 255.0, blue = b8 / 255.0 * 63.0;
    auto tileSample = [&](double level) {
        const double row = std::floor(level / 8.0), col = level - row * 8.0;
        return texture(lut, col / 8.0 + 0.5 / 512.0 + (1.0 / 8.0 - 1.0 / 512.0) * r,
                       row / 8.0 + 0.5 / 512.0 + (1.0 / 8.0 - 1.0 / 512.0) * g);
    };
    const Rgb a = tileSample(std::floor(blue)), b = tileSample(std::ceil(blue));
    const double f = blue - std::floor(blue);
    return {a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f, a[2] + (b[2] - a[2]) * f};
}

struct Entry {
    const char* name;
    int table;
    Rgb in;
    Rgb expected;
    // Colours on the cube's corners read one stored entry and must hold it
    // exactly; the others are targets the formulas meet to within a level or
    // two, and interpolation adds up to half a level.
    double tolerance;
};

class TellingEntries : public testing::TestWithParam<Entry> {};

TEST_P(TellingEntries, ReadAsTheShadersReadThem) {
    const Entry& e = GetParam();
    auto lut = loadLutTable(e.table);
    ASSERT_TRUE(lut);
    const Rgb got = lookup(*lut, static_cast<int>(e.in[0]), static_cast<int>(e.in[1]),
                           static_cast<int>(e.in[2]));
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(got[c], e.expected[c], e.tolerance) << "channel " << c;
    }
}

constexpr double kExact = 0.01;
constexpr double kAbout = 2.5;

INSTANTIATE_TEST_SUITE_P(
    Tables, TellingEntries,
    testing::Values(Entry{"whitening_white", 101, {255, 255, 255}, {255, 255, 255}, kExact},
                    Entry{"whitening_blue", 101, {0, 0, 255}, {0, 0, 255}, kExact},
                    Entry{"whitening_black", 101, {0, 0, 0}, {0, 4, 0}, kExact},
                    Entry{"whitening_grey130", 101, {130, 130, 130}, {143, 146, 148}, kAbout},
                    Entry{"whitening_grey97", 101, {97, 97, 97}, {105, 110, 112}, kAbout},
                    Entry{"whitening_skin", 101, {200, 150, 120}, {210, 170, 147}, kAbout},
                    Entry{"ruddy_grey130", 102, {130, 130, 130}, {170, 163, 165}, kAbout},
                    Entry{"ruddy_grey65", 102, {65, 65, 65}, {82, 78, 77}, kAbout},
                    Entry{"ruddy_skin", 102, {200, 150, 120}, {240, 183, 165}, kAbout},
                    Entry{"ruddy_red", 102, {255, 0, 0}, {255, 0, 48}, kExact},
                    Entry{"skin_skin1", 103, {200, 150, 120}, {255, 255, 255}, kExact},
                    Entry{"skin_skin2", 103, {230, 180, 160}, {255, 255, 255}, kExact},
                    Entry{"skin_skin3", 103, {120, 80, 60}, {255, 255, 255}, kExact},
                    Entry{"skin_black", 103, {0, 0, 0}, {66, 66, 66}, kExact},
                    Entry{"skin_grey128", 103, {128, 128, 128}, {66, 66, 66}, kExact},
                    Entry{"skin_grey97", 103, {97, 97, 97}, {66, 66, 66}, kExact},
                    Entry{"skin_white", 103, {255, 255, 255}, {66, 66, 66}, kExact},
                    Entry{"skin_red", 103, {255, 0, 0}, {31, 31, 31}, kExact},
                    Entry{"skin_green", 103, {0, 255, 0}, {0, 0, 0}, kExact},
                    Entry{"skin_dark_green", 103, {20, 160, 40}, {0, 0, 0}, kExact},
                    Entry{"skin_blue", 103, {0, 0, 255}, {0, 0, 0}, kExact},
                    Entry{"skin_sky_blue", 103, {40, 90, 220}, {0, 0, 0}, kExact}),
    [](const testing::TestParamInfo<Entry>& info) { return std::string(info.param.name); });

TEST(Tables, AreOpaqueAndTheSkinTableGreyWithAboutFortyPercentZeros) {
    for (int id : {kWhiteningLutId, kRuddyLutId, kSkinLutId}) {
        SCOPED_TRACE(id);
        auto lut = loadLutTable(id);
        ASSERT_TRUE(lut);
        int zeros = 0, notGrey = 0, translucent = 0;
        for (int i = 0; i < lut->size(); i += 4) {
            const uint8_t* p = lut->data() + i;
            notGrey += p[0] != p[1] || p[1] != p[2];
            translucent += p[3] != 255;
            zeros += p[0] == 0;
        }
        EXPECT_EQ(translucent, 0);
        if (id == kSkinLutId) {
            EXPECT_EQ(notGrey, 0);
            EXPECT_NEAR(zeros / 262144.0, 0.40, 0.03);
        }
    }
}

}  // namespace
}  // namespace kelvo::video
