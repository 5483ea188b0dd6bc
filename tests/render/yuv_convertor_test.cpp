#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "gpu/gl_fbo.h"
#include "render/gl/effect_texture_output.h"
#include "render/gl/effect_yuv_input_convertor.h"
#include "render/gl/effect_yuv_output_convertor.h"
#include "render/gl/yuv_convert_program.h"
#include "support/gl_test_env.h"
#include "yuv_test_util.h"

namespace kelvo {
namespace video {
namespace {

using namespace testing_yuv;

class YUVConvertTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (IsSkipped()) return;
        input = std::make_unique<EffectYUVInputConvertor>();
        input->setEnable(true);
    }
    void TearDown() override {
        for (auto& fbo : framebuffers) fbo->UnInitFBO();
        framebuffers.clear();
        input.reset();
        GLTest::TearDown();
    }
    std::shared_ptr<FBOBase> framebuffer(int w, int h) {
        auto fbo = std::make_shared<GLFBO>();
        fbo->InitFBO(w, h);
        framebuffers.push_back(fbo);
        return fbo;
    }
    // Uploads and converts; returns the RGBA readback, bottom row first.
    std::vector<uint8_t> convert(const std::shared_ptr<I420VideoFrame>& frame) {
        auto fbo = framebuffer(frame->width(), frame->height());
        input->setOutputFBO(fbo);
        EXPECT_EQ(input->Draw(frame), kDrawDone);
        return readBack(*fbo);
    }

    std::unique_ptr<EffectYUVInputConvertor> input;
    std::vector<std::shared_ptr<FBOBase>> framebuffers;
};

// GPU results are compared with the reference at texel centres: the 8-bit
// colour attachment rounds to nearest (half a level) plus float error.
constexpr double kRGBTolerance = 0.6;

// Worst channel difference between a readback pixel and the reference.
double pixelError(const std::vector<uint8_t>& rgba, int index, const RGB& expected) {
    const uint8_t* p = &rgba[static_cast<size_t>(index) * 4];
    return std::max(
        {std::fabs(p[0] - expected.r), std::fabs(p[1] - expected.g), std::fabs(p[2] - expected.b)});
}

// Claims twice the rows its planes hold.
class TallerFrame : public StridedFrame {
public:
    using StridedFrame::StridedFrame;
    int height() const override { return StridedFrame::height() * 2; }
};

struct SelectionRow {
    const char* name;
    int matrix;
    int range;
    Standard standard;
    bool full;
};

// One effect converts all rows in turn, so a range or matrix change between
// frames must take effect on the next upload.
TEST_F(YUVConvertTest, ChoosesMatrixAndRangeFromColorCodesPerFrame) {
    const SelectionRow rows[] = {
        {"unspecified matrix, full range", -1, 1, Standard::BT601, false},
        {"SMPTE 170M full", 4, 1, Standard::BT601, true},
        {"BT.470BG limited", 3, 0, Standard::BT601, false},
        {"BT.709 full", 1, 1, Standard::BT709, true},
        {"BT.709 limited after full", 1, 0, Standard::BT709, false},
        {"SMPTE 240M limited", 5, 0, Standard::BT709, false},
        {"RGB code full", 0, 1, Standard::BT709, true},
        {"BT.2020 NCL full", 7, 1, Standard::BT2020, true},
        {"BT.2020 CL unspecified range", 8, -1, Standard::BT2020, false},
        {"FCC unspecified range", 2, -1, Standard::BT709, false},
    };
    const int y = 120, u = 90, v = 170;
    for (const SelectionRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto frame = makeI420Frame(32, 16);
        frame->colorMatrix = row.matrix;
        frame->colorRange = row.range;
        fillPlanes(
            *frame, [&](int, int) { return y; }, [&](int, int) { return u; },
            [&](int, int) { return v; });
        const auto rgba = convert(frame);
        const RGB expected = referenceRGB(y, u, v, row.standard, row.full);
        ASSERT_TRUE(inGamut(expected, 1.0));
        // The 8-bit target rounds to nearest: half a level, plus float error.
        EXPECT_LE(pixelError(rgba, 7 * 32 + 5, expected), kRGBTolerance);
        EXPECT_FLOAT_EQ(input->convertProgram()->rangeOffset(), row.full ? 0.0f : 16.0f / 255.0f);
    }
}

struct RoundTripRow {
    const char* name;
    int matrix;
    int range;
    Standard standard;
    bool full;
};

// Planes -> GPU RGB -> readback -> planes. Luma varies per pixel, chroma per
// frame, so the linear chroma filter reproduces chroma exactly and every
// pixel can be checked against the reference.
TEST_F(YUVConvertTest, RoundTripThroughInputAndOutputConvertorsStaysWithinOneLevel) {
    const RoundTripRow rows[] = {
        {"BT.601 limited", 4, 0, Standard::BT601, false},
        {"BT.601 full", 4, 1, Standard::BT601, true},
        {"BT.709 limited", 1, 0, Standard::BT709, false},
        {"BT.709 full", 1, 1, Standard::BT709, true},
    };
    const int chroma[][2] = {{128, 128}, {100, 150}, {150, 110}, {118, 140}};
    std::mt19937 random(7);
    EffectYUVOutputConvertor output;
    output.setEnable(true);
    const int w = 48, h = 24;

    for (const RoundTripRow& row : rows) {
        for (const auto& c : chroma) {
            SCOPED_TRACE(::testing::Message() << row.name << " U " << c[0] << " V " << c[1]);
            // The luma span whose colours stay inside RGB, so nothing clips.
            std::vector<int> lumas;
            for (int y = row.full ? 0 : 16; y <= (row.full ? 255 : 235); ++y) {
                if (inGamut(referenceRGB(y, c[0], c[1], row.standard, row.full), 2.0)) {
                    lumas.push_back(y);
                }
            }
            ASSERT_GT(lumas.size(), 40u);
            std::vector<int> luma(w * h);
            for (int& value : luma) value = lumas[random() % lumas.size()];

            auto frame = makeI420Frame(w, h);
            frame->colorMatrix = row.matrix;
            frame->colorRange = row.range;
            fillPlanes(
                *frame, [&](int x, int r) { return luma[r * w + x]; },
                [&](int, int) { return c[0]; }, [&](int, int) { return c[1]; });
            auto fbo = framebuffer(w, h);
            input->setOutputFBO(fbo);
            ASSERT_EQ(input->Draw(frame), kDrawDone);

            const auto rgba = readBack(*fbo);
            double worstRGB = 0;
            for (int i = 0; i < w * h; ++i) {
                worstRGB = std::max(
                    worstRGB,
                    pixelError(rgba, i, referenceRGB(luma[i], c[0], c[1], row.standard, row.full)));
            }
            EXPECT_LE(worstRGB, kRGBTolerance);  // rounding to nearest, as above

            auto back = makeI420Frame(w, h);
            back->colorMatrix = row.matrix;
            back->colorRange = row.range;
            output.setOutputFBO(fbo);
            output.setInputTexture(fbo->texture);
            ASSERT_EQ(output.Draw(back), kDrawDone);
            EXPECT_EQ(back->storageKind, 0);
            EXPECT_EQ(back->format, 1);

            int worstY = 0, worstC = 0;
            for (int r = 0; r < h; ++r) {
                for (int x = 0; x < w; ++x) {
                    worstY = std::max(worstY, std::abs(back->buffer(0)[r * back->stride(0) + x] -
                                                       luma[r * w + x]));
                }
            }
            for (int r = 0; r < h / 2; ++r) {
                for (int x = 0; x < w / 2; ++x) {
                    worstC =
                        std::max(worstC, std::abs(back->buffer(1)[r * back->stride(1) + x] - c[0]));
                    worstC =
                        std::max(worstC, std::abs(back->buffer(2)[r * back->stride(2) + x] - c[1]));
                }
            }
            // Half a level of RGB rounding carried through the integer
            // coefficients: one level.
            EXPECT_LE(worstY, 1);
            EXPECT_LE(worstC, 1);
        }
    }
}

struct EdgeRow {
    const char* name;
    int width;
    int strideY;
    int strideC;
    int textureWidth;
    bool repacks;
};

// The texture is as wide as the aligned stride; the quad's right edge must
// stop at the visible width, and a repacked row repeats its last sample so
// the linear filter never blends in columns beyond it.
TEST_F(YUVConvertTest, RightEdgeSamplesOnlyVisibleColumns) {
    const EdgeRow rows[] = {
        {"1280 wide, aligned stride: uploaded directly", 1280, 1280, 640, 1280, false},
        {"1278 wide, stride 1278: repacked into 1280", 1278, 1278, 639, 1280, true},
        {"1277 wide: the odd last chroma column is uploaded too", 1277, 1277, 639, 1280, true},
    };
    const int h = 8;
    for (const EdgeRow& row : rows) {
        SCOPED_TRACE(row.name);
        input->init();
        auto frame = std::make_shared<StridedFrame>(row.width, h, row.strideY, row.strideC);
        frame->colorMatrix = 1;
        frame->colorRange = 1;
        const int lastChroma = (row.width + 1) / 2 - 1;
        // A luma ramp ending in a bright column, a distinct last chroma
        // column; the bytes past the visible width stay 0 (luma) / 128.
        auto lumaAt = [&](int x, int) { return x == row.width - 1 ? 230 : 40 + (x * 7) % 150; };
        auto uAt = [&](int x, int) { return x == lastChroma ? 80 : 128; };
        fillPlanes(*frame, lumaAt, uAt, [](int, int) { return 128; });

        const auto rgba = convert(frame);
        const YUVConvertProgram* program = input->convertProgram();
        EXPECT_EQ(program->textureWidth(), row.textureWidth);
        EXPECT_FLOAT_EQ(program->rightEdgeTexCoord(),
                        static_cast<float>(row.width) / static_cast<float>(row.textureWidth));
        EXPECT_EQ(program->stagingCapacity() > 0, row.repacks);

        for (int x : {0, 1, 100, row.width - 2, row.width - 1}) {
            SCOPED_TRACE(x);
            // An odd width's last pixel sits a quarter texel left of the last
            // chroma sample's centre, so the filter takes a quarter of its
            // neighbour; without that sample uploaded it would be all 128.
            const int lastU = row.width % 2 ? (3 * 80 + 128) / 4 : 80;
            const int expectedU = x == row.width - 1 ? lastU : uAt(x / 2, 0);
            if (x == row.width - 2) continue;  // chroma blends there by design
            const RGB expected = referenceRGB(lumaAt(x, 0), expectedU, 128, Standard::BT709, true);
            EXPECT_LE(pixelError(rgba, 3 * row.width + x, expected), kRGBTolerance);
        }
    }
}

// 1936 x 1090 bytes of repacked luma exceed the 1920 x 1088 a fixed staging
// buffer would hold; the upload must size its buffer to the frame.
TEST_F(YUVConvertTest, LargeFrameWithUnalignedStrideUploadsWithoutOverflow) {
    const int w = 1922, h = 1090;
    auto frame = std::make_shared<StridedFrame>(w, h, w, w / 2);
    frame->colorMatrix = 4;
    frame->colorRange = 0;
    fillPlanes(
        *frame, [](int x, int r) { return 40 + (x + r) % 180; }, [](int, int) { return 128; },
        [](int, int) { return 128; });
    const auto rgba = convert(frame);
    EXPECT_GE(input->convertProgram()->stagingCapacity(), size_t{1936} * 1090);
    for (int r : {0, h / 2, h - 1}) {
        for (int x : {0, w / 2, w - 1}) {
            const RGB expected = referenceRGB(40 + (x + r) % 180, 128, 128, Standard::BT601, false);
            EXPECT_LE(pixelError(rgba, r * w + x, expected), kRGBTolerance) << x << "," << r;
        }
    }
}

// Same size, new stride: the textures follow the stride, so their storage
// must be reallocated or the wider rows would not fit.
TEST_F(YUVConvertTest, StrideChangeAtSameSizeReallocatesTextures) {
    const int w = 60, h = 10;
    auto lumaAt = [](int x, int r) { return 30 + 3 * x + r; };
    for (int stride : {64, 72, 64}) {
        SCOPED_TRACE(stride);
        auto frame = std::make_shared<StridedFrame>(w, h, stride, stride / 2);
        frame->colorMatrix = 1;
        frame->colorRange = 1;
        fillPlanes(
            *frame, lumaAt, [](int, int) { return 128; }, [](int, int) { return 128; });
        const auto rgba = convert(frame);
        EXPECT_EQ(input->convertProgram()->textureWidth(), (stride + 15) / 16 * 16);
        for (int x : {0, 31, w - 1}) {
            EXPECT_LE(pixelError(rgba, 5 * w + x,
                                 referenceRGB(lumaAt(x, 5), 128, 128, Standard::BT709, true)),
                      kRGBTolerance);
        }
    }
    EXPECT_EQ(input->convertProgram()->storageAllocations(), 3);
}

TEST_F(YUVConvertTest, InputConvertorRejectsMissingTargetDisabledStateAndUnusableFrames) {
    auto fbo = framebuffer(16, 16);
    clearTo(*fbo, 0.0f, 1.0f, 0.0f, 1.0f);
    auto frame = makeI420Frame(16, 16);

    EXPECT_EQ(input->Draw(frame), kDrawNoOutput);
    input->setOutputFBO(fbo);
    EXPECT_EQ(input->Draw(nullptr), kDrawNoOutput);

    std::shared_ptr<I420VideoFrame> empty(new I420VideoFrame(), I420VideoFrame::deleter());
    EXPECT_EQ(input->Draw(empty), kDrawFailed);
    // Planes that hold fewer rows than the frame claims: refused, never
    // read past.
    EXPECT_EQ(input->Draw(std::make_shared<TallerFrame>(16, 8, 16, 8)), kDrawFailed);

    input->setEnable(false);
    EXPECT_EQ(input->Draw(frame), kDrawDisabled);
    const auto rgba = readBack(*fbo);
    EXPECT_EQ(rgba[1], 255);  // still the green it was cleared to
    EXPECT_EQ(rgba[0], 0);

    input->setEnable(true);
    input->release();
    EXPECT_EQ(input->Draw(frame), kDrawFailed);
}

TEST_F(YUVConvertTest, OutputConvertorGivesAFrameWithoutBuffersItsPlanes) {
    auto fbo = framebuffer(33, 18);
    clearTo(*fbo, 1.0f, 1.0f, 1.0f, 1.0f);
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
    ASSERT_EQ(frame->setWidth(33), 0);
    ASSERT_EQ(frame->setHeight(18), 0);
    frame->colorRange = 1;
    frame->colorMatrix = 1;

    EffectYUVOutputConvertor output;
    output.setEnable(true);
    output.setOutputFBO(fbo);
    output.setInputTexture(fbo->texture);
    ASSERT_EQ(output.Draw(frame), kDrawDone);
    ASSERT_NE(frame->buffer(0), nullptr);
    EXPECT_GE(frame->stride(0), 33);
    EXPECT_GE(frame->stride(1), 17);
    EXPECT_EQ(frame->storageKind, 0);
    EXPECT_EQ(frame->format, 1);
    EXPECT_EQ(output.readbackCapacity(), size_t{33} * 18 * 4);
    // White in BT.709 full range: Y 255; chroma ideal 128, the integer
    // coefficients with truncation land one below.
    EXPECT_EQ(frame->buffer(0)[17 * frame->stride(0) + 32], 255);
    EXPECT_NEAR(frame->buffer(1)[8 * frame->stride(1) + 16], 128, 1);
    EXPECT_NEAR(frame->buffer(2)[0], 128, 1);
}

TEST_F(YUVConvertTest, OutputConvertorRefusesFramesSmallerThanTheFramebuffer) {
    auto fbo = framebuffer(64, 32);
    EffectYUVOutputConvertor output;
    output.setOutputFBO(fbo);
    auto frame = makeI420Frame(32, 16);
    frame->storageKind = 1;

    EXPECT_EQ(output.Draw(frame), kDrawNoInputTexture);
    output.setInputTexture(fbo->texture);
    EXPECT_EQ(output.Draw(frame), kDrawDisabled);
    output.setEnable(true);
    EXPECT_EQ(output.Draw(frame), kDrawFailed);
    EXPECT_EQ(frame->storageKind, 1);
    EXPECT_EQ(output.Draw(nullptr), kDrawNoOutput);
}

TEST_F(YUVConvertTest, TextureOutputCopiesEvenWhenDisabled) {
    auto source = framebuffer(20, 10);
    auto target = framebuffer(20, 10);
    clearTo(*source, 1.0f, 0.0f, 0.0f, 1.0f);
    clearTo(*target, 0.0f, 0.0f, 1.0f, 1.0f);
    auto frame = makeI420Frame(20, 10);

    EffectTextureOutput copy;
    ASSERT_FALSE(copy.enabled);
    EXPECT_EQ(copy.Draw(frame), kDrawNoOutput);
    copy.setOutputFBO(target);
    EXPECT_EQ(copy.Draw(frame), kDrawNoInputTexture);
    copy.setInputTexture(source->texture);
    ASSERT_EQ(copy.Draw(frame), kDrawDone);

    const auto rgba = readBack(*target);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        ASSERT_EQ(rgba[i], 255);
        ASSERT_EQ(rgba[i + 2], 0);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
