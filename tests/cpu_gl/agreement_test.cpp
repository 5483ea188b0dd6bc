// Each CPU pass against the GL pass it mirrors, drawn by the real driver on
// the same input: natural-looking pictures at odd and even sizes plus the
// edge cases of each pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "convert/color_space_convert.h"
#include "effects/color_enhance/cpu/color_enhance.h"
#include "effects/lowlight/cpu/lowlight_enhance.h"
#include "cpu/worker_pool.h"
#include "cpu/yuv_input.h"
#include "cpu/yuv_output.h"
#include "detect/metadata_frame_stats.h"
#include "effects/color_enhance/gl/effect_color_enhance.h"
#include "effects/lowlight/gl/effect_lowlight_enhance.h"
#include "effects/lut_loader.h"
#include "frame/yuv_matrix.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"
#include "render/gl/effect_yuv_input_convertor.h"
#include "render/gl/yuv_convert_program.h"
#include "support/gl_test_env.h"
#include "tests/cpu/cpu_test_util.h"

namespace kelvo {
namespace video {
namespace {

using namespace cputest;

struct Picture {
    std::vector<uint8_t> rgba;  // rows of 4 * width bytes, frame row 0 first
    int width;
    int height;
    ConstImageRGBA8 view() const { return {rgba.data(), 4 * width, width, height}; }
};

class CpuAgreementTest : public GLTest {
protected:
    void TearDown() override {
        // The worst case of the test, for the record.
        std::printf("[ agreement ] worst %s\n", describe(worst).c_str());
        for (auto& fbo : framebuffers) fbo->UnInitFBO();
        framebuffers.clear();
        GLTest::TearDown();
    }
    std::shared_ptr<GLFBO> framebuffer(int w, int h) {
        auto fbo = std::make_shared<GLFBO>();
        fbo->InitFBO(w, h);
        framebuffers.push_back(fbo);
        return fbo;
    }

    Picture gpuYUVInput(const std::shared_ptr<I420VideoFrame>& frame) {
        EffectYUVInputConvertor effect;
        effect.setEnable(true);
        auto fbo = framebuffer(frame->width(), frame->height());
        effect.setOutputFBO(fbo);
        EXPECT_EQ(effect.Draw(frame), kDrawDone);
        return {readBack(*fbo), frame->width(), frame->height()};
    }

    static Picture cpuYUVInput(const std::shared_ptr<I420VideoFrame>& frame, WorkerPool* pool) {
        Picture out{std::vector<uint8_t>(4 * frame->width() * frame->height()), frame->width(),
                    frame->height()};
        YUVInputRowParams coeffs;
        const YUVMatrix& matrix = yuvMatrixFor(frame->colorMatrix, frame->colorRange);
        std::copy(matrix.decode, matrix.decode + 9, coeffs.matrix);
        coeffs.rangeOffset = matrix.lumaOffset;
        coeffs.chromaOffset = matrix.chromaOffset;
        YUVInput input;
        EXPECT_TRUE(input.convert(frame->buffer(0), frame->stride(0), frame->buffer(1),
                                  frame->stride(1), frame->buffer(2), frame->stride(2),
                                  (frame->height() + 1) / 2, coeffs,
                                  {out.rgba.data(), 4 * out.width, out.width, out.height}, pool));
        return out;
    }

    // Draws a texture-input effect over `input` and reads the result back.
    template <class Effect>
    Picture gpuEffect(Effect& effect, const Picture& input,
                      const std::shared_ptr<I420VideoFrame>& frame) {
        auto texture = std::make_shared<GLTexture>();
        texture->Load(input.rgba.data(), 0, input.width, input.height, GL_RGBA);
        auto fbo = framebuffer(input.width, input.height);
        effect.setInputTexture(texture);
        effect.setOutputFBO(fbo);
        EXPECT_EQ(effect.Draw(frame), kDrawDone);
        return {readBack(*fbo), input.width, input.height};
    }

    void expectAgreement(const Picture& gpu, const Picture& cpu) {
        for (int channel = 0; channel < 3; ++channel) {
            DiffStats s = diffStats(gpu.rgba.data(), 4 * gpu.width, cpu.rgba.data(), 4 * cpu.width,
                                    gpu.width, gpu.height, 4, channel);
            SCOPED_TRACE(::testing::Message() << "channel " << channel << ": " << describe(s));
            worst.mean = std::max(worst.mean, s.mean);
            worst.p999 = std::max(worst.p999, s.p999);
            worst.max = std::max(worst.max, s.max);
            worst.over2 = std::max(worst.over2, s.over2);
            worst.over8 = std::max(worst.over8, s.over8);
            expectWithinContract(s);
        }
    }

    std::vector<std::shared_ptr<GLFBO>> framebuffers;
    DiffStats worst;
};

struct Size {
    int width, height;
};
const Size kSizes[] = {{160, 90}, {161, 91}, {33, 17}, {2, 2}, {3, 3}, {5, 2}};

struct ColorCodes {
    int matrix, range;
};
const ColorCodes kCodes[] = {{-1, 1}, {1, 0}, {4, 1}, {7, 1}, {8, 0}};

TEST_F(CpuAgreementTest, YUVInputMatchesGLAtEverySizeAndColorCode) {
    WorkerPool pool(2);
    for (const Size& size : kSizes) {
        for (const ColorCodes& codes : kCodes) {
            SCOPED_TRACE(::testing::Message() << size.width << "x" << size.height << " matrix "
                                              << codes.matrix << " range " << codes.range);
            auto frame = naturalFrame(size.width, size.height, 7);
            frame->colorMatrix = codes.matrix;
            frame->colorRange = codes.range;
            expectAgreement(gpuYUVInput(frame), cpuYUVInput(frame, &pool));
        }
    }
}

// The pictures low light is for, and a bright one, with the frame means the
// curve is steepest and flattest for.
TEST_F(CpuAgreementTest, LowlightMatchesGL) {
    struct Row {
        double brightness;
        float logMean;
        int adaptiveMean;  // mean luma of the adaptive lift; 0: not adaptive
    };
    // The first: an almost black picture at the lowest log mean drawn, whose
    // gains near black are the largest.
    const Row rows[] = {{0.02, 0.0081f, 0}, {0.25, 0.01f, 0}, {0.35, 0.12f, 0},  {0.5, 0.3f, 0},
                        {1.0, 0.9f, 0},     {0.35, 0.12f, 70}, {0.5, 0.3f, 84}};
    WorkerPool pool(2);
    LowlightEnhance cpu;
    for (const Size& size : kSizes) {
        for (const Row& row : rows) {
            SCOPED_TRACE(::testing::Message()
                         << size.width << "x" << size.height << " log mean " << row.logMean);
            Picture input =
                cpuYUVInput(naturalFrame(size.width, size.height, 3, row.brightness), nullptr);
            if (size.width == 33) {
                // Stripes whose green steps of 0..45 levels put the
                // sharpening's high-pass in each of its three bands.
                for (int y = 0; y < input.height; ++y) {
                    for (int x = 0; x < input.width; ++x) {
                        uint8_t* px = &input.rgba[4 * (y * input.width + x)];
                        px[1] = static_cast<uint8_t>(40 + (x % 2) * (x % 7) * 7 + y);
                    }
                }
            }
            EffectLowlightEnhance effect;
            effect.setEnable(true);
            effect.setMode(1);
            effect.setAdaptive(row.adaptiveMean > 0);
            std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame, I420VideoFrame::deleter());
            auto stats = std::make_shared<MetaDataFrameStats>();
            stats->logAverage = row.logMean;
            stats->sampleCount = 100;
            stats->sum = 100 * row.adaptiveMean;
            frame->setMetadata(kMetadataKindFrameStats, stats);
            Picture gpu = gpuEffect(effect, input, frame);
            Picture out{std::vector<uint8_t>(input.rgba.size()), input.width, input.height};
            ASSERT_TRUE(cpu.process(input.view(),
                                    {out.rgba.data(), 4 * out.width, out.width, out.height},
                                    row.logMean, &pool, effect.shape()));
            expectAgreement(gpu, out);
        }
    }
}

// Natural pictures plus every level of a colour ramp through the skin
// table's tiles (blue 0..255 across, red and green down), at the strengths
// and skin protection the effect is used with.
TEST_F(CpuAgreementTest, ColorEnhanceMatchesGL) {
    std::shared_ptr<ARGBFrame> table = loadLutTable(103);
    ASSERT_TRUE(table && !table->empty());
    ColorEnhance cpu;
    ASSERT_TRUE(
        cpu.setSkinTable({table->data(), table->stride(), table->width(), table->height()}));
    const float lowChromaGain = 0.1275f / static_cast<float>(std::pow(0.15, 2.5));

    std::vector<Picture> inputs;
    for (const Size& size : kSizes) {
        inputs.push_back(cpuYUVInput(naturalFrame(size.width, size.height, 5), nullptr));
    }
    Picture ramp{std::vector<uint8_t>(4 * 256 * 64), 256, 64};
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 256; ++x) {
            uint8_t* px = &ramp.rgba[4 * (y * 256 + x)];
            px[0] = static_cast<uint8_t>(y * 4 + (x & 3));
            px[1] = static_cast<uint8_t>(255 - y * 3 - (x % 5));
            px[2] = static_cast<uint8_t>(x);
            px[3] = 255;
        }
    }
    inputs.push_back(ramp);

    struct Row {
        float strength, skinProtect;
    };
    const Row rows[] = {{0.5f, 1.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}};
    WorkerPool pool(2);
    for (const Picture& input : inputs) {
        for (const Row& row : rows) {
            SCOPED_TRACE(::testing::Message() << input.width << "x" << input.height << " strength "
                                              << row.strength << " skin " << row.skinProtect);
            EffectColorEnhance effect;
            effect.setEnable(true);
            effect.setStrength(row.strength);
            effect.setSkinProtect(row.skinProtect);
            Picture gpu = gpuEffect(effect, input, nullptr);
            ColorEnhanceParams params;
            params.strength = row.strength;
            params.skinProtect = row.skinProtect;
            params.lowChromaGain = lowChromaGain;
            Picture out{std::vector<uint8_t>(input.rgba.size()), input.width, input.height};
            ASSERT_TRUE(cpu.process(input.view(),
                                    {out.rgba.data(), 4 * out.width, out.width, out.height}, params,
                                    &pool));
            expectAgreement(gpu, out);
        }
    }
}

// The GL path reads its framebuffer back and converts it with the packed
// converter; the CPU pass must give the same bytes for each coefficient set
// that converter picks.
TEST(CpuOutput, MatchesTheReadbackConverterExactly) {
    struct Row {
        const char* name;
        int range, matrix;
    };
    const Row rows[] = {
        {"BT.601 limited", 0, 4}, {"BT.601 full", 1, 4},     {"BT.709 limited", 0, 1},
        {"BT.709 full", 1, 1},    {"BT.2020 limited", 0, 7}, {"BT.2020 full", 1, 7},
    };
    WorkerPool pool(3);
    for (const Size& size : kSizes) {
        std::vector<uint8_t> rgba(4 * size.width * size.height);
        fillRandom(rgba, size.width);
        const ConstImageRGBA8 src{rgba.data(), 4 * size.width, size.width, size.height};
        const int cw = (size.width + 1) / 2, ch = (size.height + 1) / 2;
        for (const Row& row : rows) {
            SCOPED_TRACE(::testing::Message()
                         << row.name << " " << size.width << "x" << size.height);
            std::vector<uint8_t> expected(size.width * size.height + 2 * cw * ch);
            std::vector<uint8_t> actual(expected.size(), 0);
            ASSERT_EQ(0,
                      ABGRToI420ColorSpace(rgba.data(), 4 * size.width, expected.data(), size.width,
                                           expected.data() + size.width * size.height, cw,
                                           expected.data() + size.width * size.height + cw * ch, cw,
                                           size.width, size.height, row.range, row.matrix));
            ASSERT_TRUE(YUVOutput().convert(src, actual.data(), size.width,
                                            actual.data() + size.width * size.height, cw,
                                            actual.data() + size.width * size.height + cw * ch, cw,
                                            yuvMatrixFor(row.matrix, row.range).fixed, &pool));
            EXPECT_EQ(expected, actual);
        }
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
