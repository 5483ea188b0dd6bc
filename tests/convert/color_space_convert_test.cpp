#include "convert/color_space_convert.h"

#include <gtest/gtest.h>
#include <libyuv/convert.h>
#include <libyuv/video_common.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace kelvo {
namespace video {
namespace {

using Converter = int (*)(const uint8_t*, int, uint8_t*, int, uint8_t*, int, uint8_t*, int, int,
                          int, int, int);

// Byte positions of R, G and B in one pixel of each converter's input.
struct Layout {
    const char* name;
    Converter convert;
    int r, g, b, a;
    uint32_t fourcc;
};

const Layout kLayouts[] = {
    {"ABGR", ABGRToI420ColorSpace, 0, 1, 2, 3, libyuv::FOURCC_ABGR},
    {"ARGB", ARGBToI420ColorSpace, 2, 1, 0, 3, libyuv::FOURCC_ARGB},
    {"BGRA", BGRAToI420ColorSpace, 1, 2, 3, 0, libyuv::FOURCC_BGRA},
};

struct I420 {
    I420(int w, int h)
        : w(w), h(h), cw((w + 1) / 2), ch((h + 1) / 2), y(size_t(w) * h, 0xEE),
          u(size_t(cw) * ch, 0xEE), v(size_t(cw) * ch, 0xEE) {}
    int w, h, cw, ch;
    std::vector<uint8_t> y, u, v;
};

int convert(const Layout& l, const std::vector<uint8_t>& src, int w, int h, I420& out, int range,
            int matrix) {
    return l.convert(src.data(), w * 4, out.y.data(), out.w, out.u.data(), out.cw, out.v.data(),
                     out.cw, w, h, range, matrix);
}

std::vector<uint8_t> solid(const Layout& l, int w, int h, int r, int g, int b) {
    std::vector<uint8_t> px(size_t(w) * h * 4);
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i + l.r] = uint8_t(r);
        px[i + l.g] = uint8_t(g);
        px[i + l.b] = uint8_t(b);
        px[i + l.a] = 255;
    }
    return px;
}

std::vector<uint8_t> noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

// Expected values worked out by hand from the published integer formulas.
struct SolidCase {
    const char* what;
    int range, matrix;
    int r, g, b;
    int y, u, v;
};

const SolidCase kSolidCases[] = {
    // BT.709 full: range 1, matrix 1 and every code without a table of its own.
    {"709 full white", 1, 1, 255, 255, 255, 255, 128, 128},
    {"709 full green", 1, 1, 0, 255, 0, 182, 29, 12},
    {"SMPTE 240M full blue is 709 full", 1, 5, 0, 0, 255, 19, 255, 116},
    // BT.601 full: range 1, matrix 3 or 4.
    {"601 full blue", 1, 4, 0, 0, 255, 29, 255, 107},
    {"601 full red via BT.470BG", 1, 3, 255, 0, 0, 77, 85, 255},
    // BT.2020, as the input side decodes matrices 7 and 8.
    {"2020 full white", 1, 7, 255, 255, 255, 255, 128, 128},
    {"2020 limited red", 0, 8, 255, 0, 0, 74, 97, 240},
    // BT.601 limited when no matrix is given, whatever the range.
    {"nothing given is 601 limited", -1, -1, 0, 255, 0, 144, 54, 34},
    {"full range without a matrix is 601 limited", 1, -1, 0, 0, 0, 16, 128, 128},
    // Limited range for every range code but 1.
    {"709 limited white", 0, 1, 255, 255, 255, 235, 128, 128},
    {"709 limited red", 0, 1, 255, 0, 0, 63, 102, 240},
    {"range code 2 is limited", 2, 4, 0, 0, 255, 41, 240, 110},
    {"601 limited black", 0, 4, 0, 0, 0, 16, 128, 128},
};

TEST(PackedToI420ColorSpace, SolidColorsMatchTheRangeAndMatrixTable) {
    for (const Layout& l : kLayouts) {
        for (const SolidCase& c : kSolidCases) {
            SCOPED_TRACE(std::string(l.name) + ": " + c.what);
            I420 out(4, 2);
            ASSERT_EQ(convert(l, solid(l, 4, 2, c.r, c.g, c.b), 4, 2, out, c.range, c.matrix), 0);
            EXPECT_EQ(out.y[5], c.y);
            EXPECT_EQ(out.u[1], c.u);
            EXPECT_EQ(out.v[1], c.v);
        }
    }
}

// Straightforward model of the converters: gathers each chroma block's
// samples (one row and column of a frame edge repeat themselves) and applies
// the same integer formulas to the truncated averages.
struct Coeffs {
    int yr, yg, yb, yadd, ur, ug, ub, vr, vg, vb;
};
const Coeffs k601Limited{66, 129, 25, 4224, -38, -74, 112, 112, -94, -18};
const Coeffs k601Full{77, 150, 29, 128, -43, -85, 128, 128, -107, -21};
const Coeffs k709Limited{47, 157, 16, 4224, -26, -86, 112, 112, -102, -10};
const Coeffs k709Full{54, 183, 19, 128, -29, -99, 128, 128, -116, -12};
const Coeffs k2020Limited{58, 149, 13, 4224, -31, -81, 112, 112, -103, -9};
const Coeffs k2020Full{67, 174, 15, 128, -36, -92, 128, 128, -118, -10};

I420 reference(const Layout& l, const std::vector<uint8_t>& px, int w, int h, const Coeffs& k) {
    I420 out(w, h);
    auto at = [&](int x, int y, int ch) { return int(px[(size_t(y) * w + x) * 4 + ch]); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v =
                (k.yr * at(x, y, l.r) + k.yg * at(x, y, l.g) + k.yb * at(x, y, l.b) + k.yadd) / 256;
            out.y[size_t(y) * w + x] = uint8_t(std::min(v, 255));
        }
    for (int cy = 0; cy < out.ch; ++cy)
        for (int cx = 0; cx < out.cw; ++cx) {
            const int x0 = 2 * cx, y0 = 2 * cy;
            const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
            const bool lastOddColumn = x1 == x0;
            int avg[3];
            const int chans[3] = {l.r, l.g, l.b};
            for (int i = 0; i < 3; ++i) {
                const int c = chans[i];
                avg[i] = lastOddColumn
                             ? (at(x0, y0, c) + at(x0, y1, c)) / 2
                             : (at(x0, y0, c) + at(x1, y0, c) + at(x0, y1, c) + at(x1, y1, c)) / 4;
            }
            auto clamp = [](int v) { return uint8_t(std::clamp(v, 0, 255)); };
            // Floor division: the sums can be negative before clamping.
            auto div256 = [](int v) { return v >= 0 ? v / 256 : -((-v + 255) / 256); };
            out.u[size_t(cy) * out.cw + cx] =
                clamp(div256(k.ur * avg[0] + k.ug * avg[1] + k.ub * avg[2] + 32896));
            out.v[size_t(cy) * out.cw + cx] =
                clamp(div256(k.vr * avg[0] + k.vg * avg[1] + k.vb * avg[2] + 32896));
        }
    return out;
}

TEST(PackedToI420ColorSpace, OddSizedNoiseMatchesTheModelForEveryCoefficientSet) {
    const int w = 641, h = 361;
    const std::vector<uint8_t> px = noise(size_t(w) * h * 4, 7);
    struct Row {
        int range, matrix;
        const Coeffs* k;
    } rows[] = {{1, 1, &k709Full},    {1, 4, &k601Full},  {0, 1, &k709Limited},
                {0, 4, &k601Limited}, {1, 7, &k2020Full}, {0, 8, &k2020Limited}};
    for (const Layout& l : kLayouts) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(l.name) + " range " + std::to_string(row.range) + " matrix " +
                         std::to_string(row.matrix));
            I420 out(w, h);
            ASSERT_EQ(convert(l, px, w, h, out, row.range, row.matrix), 0);
            I420 want = reference(l, px, w, h, *row.k);
            EXPECT_EQ(out.y, want.y);
            EXPECT_EQ(out.u, want.u);
            EXPECT_EQ(out.v, want.v);
        }
    }
}

TEST(PackedToI420ColorSpace, RejectsNullPlanesAndEmptySizes) {
    std::vector<uint8_t> px(64 * 4);
    I420 out(8, 8);
    uint8_t *y = out.y.data(), *u = out.u.data(), *v = out.v.data();
    for (const Layout& l : kLayouts) {
        EXPECT_EQ(l.convert(nullptr, 32, y, 8, u, 4, v, 4, 8, 8, 1, 1), -1);
        EXPECT_EQ(l.convert(px.data(), 32, y, 8, nullptr, 4, v, 4, 8, 8, 1, 1), -1);
        EXPECT_EQ(l.convert(px.data(), 32, y, 8, u, 4, v, 4, 0, 8, 1, 1), -1);
        EXPECT_EQ(l.convert(px.data(), 32, y, 8, u, 4, v, 4, 8, 0, 1, 1), -1);
    }
    EXPECT_TRUE(std::all_of(out.y.begin(), out.y.end(), [](uint8_t b) { return b == 0xEE; }));
}

// ---- ConvertToI420ColorSpace ----

int convertSample(const std::vector<uint8_t>& sample, size_t size, I420& out, int cropX, int cropY,
                  int srcW, int srcH, int cropW, int cropH, libyuv::RotationMode rot,
                  uint32_t fourcc, int range = 0, int matrix = 4) {
    return ConvertToI420ColorSpace(sample.data(), size, out.y.data(), out.w, out.u.data(), out.cw,
                                   out.v.data(), out.cw, cropX, cropY, srcW, srcH, cropW, cropH,
                                   rot, fourcc, range, matrix);
}

int libyuvSample(const std::vector<uint8_t>& sample, I420& out, int cropX, int cropY, int srcW,
                 int srcH, int cropW, int cropH, libyuv::RotationMode rot, uint32_t fourcc) {
    return libyuv::ConvertToI420(sample.data(), sample.size(), out.y.data(), out.w, out.u.data(),
                                 out.cw, out.v.data(), out.cw, cropX, cropY, srcW, srcH, cropW,
                                 cropH, rot, fourcc);
}

struct CropCase {
    const char* what;
    int cropX, cropY, cropW, cropH;
    libyuv::RotationMode rot;
};

const CropCase kCropCases[] = {
    {"whole, upright", 0, 0, 37, 21, libyuv::kRotate0},
    {"cropped", 3, 2, 30, 17, libyuv::kRotate0},
    {"cropped, rotated 90", 4, 1, 29, 19, libyuv::kRotate90},
    {"cropped, rotated 180", 1, 3, 33, 15, libyuv::kRotate180},
    {"cropped, rotated 270", 2, 2, 31, 18, libyuv::kRotate270},
};

I420 destinationFor(const CropCase& c) {
    const bool swap = c.rot == libyuv::kRotate90 || c.rot == libyuv::kRotate270;
    return swap ? I420(c.cropH, c.cropW) : I420(c.cropW, c.cropH);
}

// libyuv's own paths of the four packed orders use the BT.601 limited luma
// formula too, so their luma checks our crop, bottom-up flip and rotation
// independently; their chroma rounds the block average differently (and
// differently on x86 and elsewhere) and may differ by one.
TEST(ConvertToI420ColorSpace, CropsFlipsAndRotatesLikeLibyuv) {
    struct Format {
        uint32_t fourcc;
        int chromaTolerance;
    } formats[] = {{libyuv::FOURCC_RGBA, 1},
                   {libyuv::FOURCC_ABGR, 1},
                   {libyuv::FOURCC_ARGB, 1},
                   {libyuv::FOURCC_BGRA, 1}};
    const int w = 37, h = 21;
    const std::vector<uint8_t> px = noise(size_t(w) * h * 4, 5);
    for (const Format& f : formats) {
        for (int flip : {1, -1}) {
            for (const CropCase& c : kCropCases) {
                SCOPED_TRACE(std::string(c.what) + (flip < 0 ? ", flipped, " : ", ") +
                             std::to_string(f.fourcc));
                I420 ours = destinationFor(c), theirs = destinationFor(c);
                ASSERT_EQ(convertSample(px, px.size(), ours, c.cropX, c.cropY, w, flip * h, c.cropW,
                                        c.cropH, c.rot, f.fourcc),
                          0);
                ASSERT_EQ(libyuvSample(px, theirs, c.cropX, c.cropY, w, flip * h, c.cropW, c.cropH,
                                       c.rot, f.fourcc),
                          0);
                EXPECT_EQ(ours.y, theirs.y);
                for (size_t i = 0; i < ours.u.size(); ++i) {
                    ASSERT_LE(std::abs(ours.u[i] - theirs.u[i]), f.chromaTolerance) << i;
                    ASSERT_LE(std::abs(ours.v[i] - theirs.v[i]), f.chromaTolerance) << i;
                }
            }
        }
    }
}

TEST(ConvertToI420ColorSpace, PackedFormatsRejectShortSamplesAndOutsideCrops) {
    const int w = 16, h = 8;
    const std::vector<uint8_t> px(size_t(w) * h * 4, 100);
    for (const Layout& l : kLayouts) {
        I420 out(w, h);
        auto run = [&](size_t size, int cx, int cy, int cw, int ch, libyuv::RotationMode rot) {
            return convertSample(px, size, out, cx, cy, w, h, cw, ch, rot, l.fourcc);
        };
        EXPECT_EQ(run(px.size() - 1, 0, 0, w, h, libyuv::kRotate0), -1);
        EXPECT_EQ(run(px.size() - 1, 0, 0, w, h, libyuv::kRotate90), -1);
        EXPECT_EQ(run(size_t(w) * h * 3 / 2, 0, 0, w, h, libyuv::kRotate0), -1);
        EXPECT_EQ(run(px.size(), 1, 0, w, h, libyuv::kRotate0), -1);
        EXPECT_EQ(run(px.size(), 0, 1, w, h, libyuv::kRotate0), -1);
        EXPECT_EQ(run(px.size(), -1, 0, 4, 4, libyuv::kRotate0), -1);
        EXPECT_TRUE(std::all_of(out.y.begin(), out.y.end(), [](uint8_t b) { return b == 0xEE; }))
            << l.name;
        // A crop of the first rows needs only the bytes it reads.
        EXPECT_EQ(run(size_t(w) * 4 * 3 + 8 * 4, 0, 0, 8, 4, libyuv::kRotate0), 0);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
