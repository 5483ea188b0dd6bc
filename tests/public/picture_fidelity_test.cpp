// A caller's picture comes back as it went in when the chain changes nothing:
// every colour code, tiny and one-row frames, and the alpha of packed pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "kelvo/video_process_engine.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

using QuietObserver = NullObserver;

// Colour enhancement at strength 0: the whole round trip, on each backend,
// with an effect that leaves its input as it is.
class PictureFidelity : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        engine.reset(createVideoProcessEngine(false));
        ASSERT_EQ(engine->init(GetParam()), 0);
        engine->setObserver(&observer);
        ASSERT_EQ(engine->setVideoEffects({kEffectColorEnhance}), 0);
        ASSERT_EQ(engine->setParameter("color_enhance_option", R"({"enable":1,"strength":0})"), 0);
    }
    void TearDown() override { engine->release(); }
    QuietObserver observer;
    std::unique_ptr<IVideoProcessEngine> engine;
};

struct Rgb {
    double r, g, b;
};

// A smooth picture that stays well inside the RGB cube.
Rgb smoothColor(double x, double y) { return {30 + 190 * x, 30 + 190 * y, 220 - 95 * (x + y)}; }

// Ideal Y'CbCr of one colour (chroma zero at 128), from the standard's luma
// weights: what a camera or encoder using these codes would produce.
void encodeIdeal(const Rgb& c, int matrix, bool full, double out[3]) {
    const bool bt601 = matrix == 3 || matrix == 4;
    const bool bt2020 = matrix == 7 || matrix == 8;
    const double kr = bt601 ? 0.299 : bt2020 ? 0.2627 : 0.2126;
    const double kb = bt601 ? 0.114 : bt2020 ? 0.0593 : 0.0722;
    const double y = kr * c.r + (1 - kr - kb) * c.g + kb * c.b;
    const double cb = (c.b - y) / (2 * (1 - kb)), cr = (c.r - y) / (2 * (1 - kr));
    const double ys = full ? 1.0 : 219.0 / 255, cs = full ? 1.0 : 224.0 / 255;
    out[0] = (full ? 0 : 16) + y * ys;
    out[1] = 128 + cb * cs;
    out[2] = 128 + cr * cs;
}

uint8_t toByte(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

TEST_P(PictureFidelity, EveryColorCodeComesBackExactly) {
    constexpr int kW = 64, kH = 48, kCW = kW / 2, kCH = kH / 2;
    for (int matrix = -1; matrix <= 9; ++matrix) {
        for (int range : {-1, 0, 1, 2}) {
            // Codes the caller leaves open are the engine's defaults.
            const int m = matrix == -1 ? kColorMatrixSMPTE170M : matrix;
            const bool full = range == -1 || range == 1;
            std::vector<uint8_t> frame(kW * kH + 2 * kCW * kCH);
            uint8_t* u = frame.data() + kW * kH;
            uint8_t* v = u + kCW * kCH;
            double yuv[3];
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    encodeIdeal(smoothColor(x / (kW - 1.0), y / (kH - 1.0)), m, full, yuv);
                    frame[y * kW + x] = toByte(yuv[0]);
                }
            for (int y = 0; y < kCH; ++y)
                for (int x = 0; x < kCW; ++x) {
                    // The colour at the centre of the 2x2 block.
                    encodeIdeal(
                        smoothColor((2 * x + 0.5) / (kW - 1.0), (2 * y + 0.5) / (kH - 1.0)), m,
                        full, yuv);
                    u[y * kCW + x] = toByte(yuv[1]);
                    v[y * kCW + x] = toByte(yuv[2]);
                }
            const std::vector<uint8_t> input = frame;
            ASSERT_EQ(engine->processFrame(kPixelFormatI420, kW, kH, frame.data(),
                                           int(frame.size()), -1, -1, matrix, range),
                      0);
            int worst = 0;
            double sum = 0;
            for (int i = 0; i < kW * kH; ++i) {
                const int d = std::abs(frame[i] - input[i]);
                worst = std::max(worst, d);
                sum += d;
            }
            const std::string code =
                "matrix " + std::to_string(matrix) + " range " + std::to_string(range);
            RecordProperty(code + " mean |dY|", std::to_string(sum / (kW * kH)));
            RecordProperty(code + " max |dY|", worst);
            EXPECT_EQ(worst, 0) << code;
        }
    }
}

TEST_P(PictureFidelity, TinyAndOneRowFramesKeepTheirColor) {
    const int sizes[][2] = {{1, 1}, {2, 1}, {3, 1}, {8, 1},  {64, 1}, {1, 2},
                            {1, 8}, {3, 3}, {5, 2}, {17, 3}, {2, 5}};
    // A colour well inside the BT.601 limited gamut, the same in every
    // sample, so each output sample can be compared with it.
    const uint8_t kY = 100, kU = 90, kV = 170;
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1], cw = (w + 1) / 2, ch = (h + 1) / 2;
        const std::string name = std::to_string(w) + "x" + std::to_string(h);
        std::vector<uint8_t> frame(w * h + 2 * cw * ch, kY);
        std::fill(frame.begin() + w * h, frame.begin() + w * h + cw * ch, kU);
        std::fill(frame.begin() + w * h + cw * ch, frame.end(), kV);
        const std::vector<uint8_t> input = frame;
        ASSERT_EQ(engine->processFrame(kPixelFormatI420, w, h, frame.data(), int(frame.size()), -1,
                                       -1, kColorMatrixSMPTE170M, kColorRangeLimited),
                  0)
            << name;
        int worst = 0;
        for (size_t i = 0; i < frame.size(); ++i)
            worst = std::max(worst, std::abs(frame[i] - input[i]));
        EXPECT_EQ(worst, 0) << name;
    }
}

TEST_P(PictureFidelity, PackedPixelsKeepTheirAlphaAndColorForAnyColorCodes) {
    // Flat 8x8 blocks: chroma subsampled on entry and interpolated in the
    // chain would bleed across their edges, were the change not carried
    // back onto the caller's own bytes.
    constexpr int kW = 64, kH = 32, kBlock = 8;
    struct Layout {
        int format, r, g, b, a;
    } layouts[] = {{kPixelFormatRGBA, 3, 2, 1, 0},
                   {kPixelFormatARGB, 2, 1, 0, 3},
                   {kPixelFormatBGRA, 1, 2, 3, 0}};
    const int codes[][2] = {{-1, -1},
                            {kColorMatrixBT709, kColorRangeFull},
                            {kColorMatrixBT2020NCL, kColorRangeFull},
                            {kColorMatrixSMPTE240M, kColorRangeLimited}};
    for (const Layout& l : layouts) {
        for (const auto& code : codes) {
            std::vector<uint8_t> frame(kW * kH * 4);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    const Rgb c = smoothColor(x / kBlock / (kW / kBlock - 1.0),
                                               y / kBlock / (kH / kBlock - 1.0));
                    uint8_t* p = &frame[(y * kW + x) * 4];
                    p[l.r] = toByte(c.r), p[l.g] = toByte(c.g), p[l.b] = toByte(c.b);
                    p[l.a] = static_cast<uint8_t>(x * 8 + y);  // every alpha differs
                }
            const std::vector<uint8_t> input = frame;
            ASSERT_EQ(engine->processFrame(l.format, kW, kH, frame.data(), int(frame.size()), -1,
                                           -1, code[0], code[1]),
                      0);
            int worstColor = 0, alphaChanged = 0;
            for (size_t i = 0; i < frame.size(); ++i) {
                if (int(i % 4) == l.a) {
                    alphaChanged += frame[i] != input[i];
                } else {
                    worstColor = std::max(worstColor, std::abs(frame[i] - input[i]));
                }
            }
            const std::string name = "format " + std::to_string(l.format) + " matrix " +
                                     std::to_string(code[0]) + " range " + std::to_string(code[1]);
            EXPECT_EQ(alphaChanged, 0) << name;
            EXPECT_EQ(worstColor, 0) << name;
        }
    }
}

TEST_P(PictureFidelity, GreysStayNeutral) {
    constexpr int kW = 64, kH = 8, kCW = kW / 2, kCH = kH / 2;
    const int codes[][2] = {
        {kColorMatrixSMPTE170M, kColorRangeFull}, {kColorMatrixSMPTE170M, kColorRangeLimited},
        {kColorMatrixBT709, kColorRangeFull},     {kColorMatrixBT709, kColorRangeLimited},
        {kColorMatrixBT2020NCL, kColorRangeFull}, {kColorMatrixBT2020NCL, kColorRangeLimited}};
    for (const auto& code : codes) {
        std::vector<uint8_t> frame(kW * kH + 2 * kCW * kCH, 128);
        for (int i = 0; i < kW * kH; ++i) frame[i] = static_cast<uint8_t>(16 + i % kW * 3);
        const std::vector<uint8_t> input = frame;
        ASSERT_EQ(engine->processFrame(kPixelFormatI420, kW, kH, frame.data(), int(frame.size()),
                                       -1, -1, code[0], code[1]),
                  0);
        int worstLuma = 0, tinted = 0;
        for (int i = 0; i < kW * kH; ++i)
            worstLuma = std::max(worstLuma, std::abs(frame[i] - input[i]));
        for (size_t i = kW * kH; i < frame.size(); ++i) tinted += frame[i] != 128;
        EXPECT_EQ(worstLuma, 0) << code[0] << "/" << code[1];
        EXPECT_EQ(tinted, 0) << code[0] << "/" << code[1];
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, PictureFidelity,
                         ::testing::Values(R"({"backend":"gpu"})", R"({"backend":"cpu"})"));

}  // namespace
}  // namespace video
}  // namespace kelvo
