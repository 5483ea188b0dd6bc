#include "denoise/effect_video_denoiser.h"

#include <gtest/gtest.h>

#include <cstring>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "frame/i420_video_frame.h"

namespace kelvo {
namespace video {
namespace {

using FramePtr = std::shared_ptr<I420VideoFrame>;
using LumaFn = std::function<int(int x, int y)>;

uint8_t clamp8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// A frame whose visible luma comes from `luma` and whose chroma is a fixed
// pattern derived from `chromaSeed`; row padding is zeroed.
FramePtr makeFrame(int width, int height, int strideY, const LumaFn& luma, int chromaSeed = 0) {
    FramePtr f(new I420VideoFrame(), I420VideoFrame::deleter());
    const int c = (strideY + 1) / 2;
    EXPECT_EQ(f->allocateI420(width, height, strideY, c, c), 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = f->buffer(0) + y * f->stride(0);
        for (int x = 0; x < f->stride(0); ++x) row[x] = x < width ? clamp8(luma(x, y)) : 0;
    }
    for (int p = 1; p <= 2; ++p)
        for (int i = 0; i < f->allocatedSize(p); ++i)
            f->buffer(p)[i] = static_cast<uint8_t>(chromaSeed + 31 * p + i * 7);
    return f;
}

std::vector<uint8_t> visibleLuma(const I420VideoFrame& f) {
    std::vector<uint8_t> out;
    for (int y = 0; y < f.height(); ++y)
        out.insert(out.end(), f.buffer(0) + y * f.stride(0),
                   f.buffer(0) + y * f.stride(0) + f.width());
    return out;
}

std::vector<uint8_t> chroma(const I420VideoFrame& f) {
    std::vector<uint8_t> out(f.buffer(1), f.buffer(1) + f.allocatedSize(1));
    out.insert(out.end(), f.buffer(2), f.buffer(2) + f.allocatedSize(2));
    return out;
}

int lumaAt(const I420VideoFrame& f, int x, int y) { return f.buffer(0)[y * f.stride(0) + x]; }

// Smooth shading with a few hard edges, well inside the 8-bit range so that
// added noise rarely clips.
int cleanScene(int x, int y) {
    // Tabulated: the scene is drawn for every sample of every frame.
    static const std::vector<double> sx = [] {
        std::vector<double> t(4096);
        for (size_t i = 0; i < t.size(); ++i) t[i] = 50.0 * std::sin(i / 23.0);
        return t;
    }();
    static const std::vector<double> cy = [] {
        std::vector<double> t(4096);
        for (size_t i = 0; i < t.size(); ++i) t[i] = std::cos(i / 17.0);
        return t;
    }();
    int v = 128 + static_cast<int>(sx[x] * cy[y]);
    if (x > 60 && x < 140 && y > 40 && y < 120) v += 40;
    if ((x / 40 + y / 40) % 5 == 0) v -= 30;
    return v;
}

// Both blends of the luma pass, as doubles, truncated toward zero.
int movingBlend(int reference, int source) {
    return static_cast<int>(0.1 * reference + 0.9 * source);
}
int staticBlend(int reference, int source, float weight) {
    return static_cast<int>(source * (1.0 - weight) + static_cast<double>(reference * weight));
}

// The reference is a copy of the frame it was taken from: same visible luma.
bool holdsLumaOf(const std::shared_ptr<const I420VideoFrame>& reference, const I420VideoFrame& f) {
    return reference && visibleLuma(*reference) == visibleLuma(f);
}

class EffectVideoDenoiserTest : public testing::Test {
protected:
    void SetUp() override { denoiser.setEnable(true); }
    EffectVideoDenoiser denoiser;
};

TEST_F(EffectVideoDenoiserTest, FirstFrameBecomesTheReferenceUnchangedAndTheNextIsDenoised) {
    FramePtr first = makeFrame(320, 240, 320, cleanScene);
    const std::vector<uint8_t> before = visibleLuma(*first);
    EXPECT_EQ(denoiser.Draw(first), kDrawDone);
    EXPECT_EQ(visibleLuma(*first), before);
    EXPECT_TRUE(holdsLumaOf(denoiser.referenceFrame(), *first));
    // Later stages write their output into the frame; the reference keeps
    // the input.
    std::memset(first->buffer(0), 0, static_cast<size_t>(first->stride(0)) * 240);
    EXPECT_FALSE(holdsLumaOf(denoiser.referenceFrame(), *first));

    FramePtr second = makeFrame(320, 240, 320, [](int x, int y) { return cleanScene(x, y) + 3; });
    const std::vector<uint8_t> input = visibleLuma(*second);
    EXPECT_EQ(denoiser.Draw(second), kDrawDone);
    EXPECT_NE(visibleLuma(*second), input);
    // The new reference is the effect's own copy of the output.
    ASSERT_TRUE(denoiser.referenceFrame());
    EXPECT_NE(denoiser.referenceFrame(), second);
    EXPECT_EQ(visibleLuma(*denoiser.referenceFrame()), visibleLuma(*second));
}

TEST_F(EffectVideoDenoiserTest, BlendsTheOuterRingAndMovingBlocksMostlyFromTheSource) {
    // 20 x 15 blocks. The second frame differs by +-2 in alternate rows (a
    // static block with no net difference), except block (7, 10), which is
    // 40 brighter and so moving.
    const int width = 320, height = 240;
    auto inMovingBlock = [](int x, int y) { return x / 16 == 10 && y / 16 == 7; };
    FramePtr reference = makeFrame(width, height, width, cleanScene);
    const std::vector<uint8_t> r = visibleLuma(*reference);
    FramePtr frame = makeFrame(width, height, width, [&](int x, int y) {
        return cleanScene(x, y) + (inMovingBlock(x, y) ? 40 : (y % 2 ? 2 : -2));
    });
    const std::vector<uint8_t> s = visibleLuma(*frame);
    ASSERT_EQ(denoiser.Draw(reference), kDrawDone);
    ASSERT_EQ(denoiser.Draw(frame), kDrawDone);

    int ringChecked = 0, staticChecked = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int bx = x / 16, by = y / 16, i = y * width + x;
            const bool ring = bx == 0 || by == 0 || bx == width / 16 - 1 || by == height / 16 - 1;
            const int expected = ring || inMovingBlock(x, y) ? movingBlend(r[i], s[i])
                                                             : staticBlend(r[i], s[i], 0.7f);
            ASSERT_EQ(lumaAt(*frame, x, y), expected) << x << "," << y;
            (ring ? ringChecked : staticChecked)++;
        }
    EXPECT_EQ(ringChecked, (20 * 2 + 13 * 2) * 256);
    EXPECT_GT(staticChecked, 0);
}

TEST_F(EffectVideoDenoiserTest, CopiesTheMarginsOutsideTheFullBlocksFromTheSource) {
    // 1278 x 718: 79 x 44 blocks, leaving 14 columns on the right and 14 rows
    // at the bottom. The luma stride is rounded up to 1280.
    const int width = 1278, height = 718;
    FramePtr reference = makeFrame(width, height, width, cleanScene);
    FramePtr frame = makeFrame(width, height, width,
                               [](int x, int y) { return cleanScene(x, y) + (y % 2 ? 3 : -3); });
    ASSERT_NE(frame->stride(0), width);
    const std::vector<uint8_t> s = visibleLuma(*frame);
    ASSERT_EQ(denoiser.Draw(reference), kDrawDone);
    ASSERT_EQ(denoiser.Draw(frame), kDrawDone);

    int interiorChanged = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = lumaAt(*frame, x, y), source = s[y * width + x];
            if (x >= 79 * 16 || y >= 44 * 16)
                ASSERT_EQ(v, source) << x << "," << y;
            else
                interiorChanged += v != source;
        }
    EXPECT_GT(interiorChanged, 0);
}

TEST_F(EffectVideoDenoiserTest, DisablingOrDroppingTheReferenceMakesTheNextFrameANewReference) {
    ASSERT_EQ(denoiser.Draw(makeFrame(64, 64, 64, cleanScene)), kDrawDone);
    ASSERT_TRUE(denoiser.referenceFrame());

    // Disabled: the frame is left alone and the reference goes.
    denoiser.setEnable(false);
    FramePtr ignored = makeFrame(64, 64, 64, [](int x, int y) { return cleanScene(x, y) + 9; });
    const std::vector<uint8_t> ignoredLuma = visibleLuma(*ignored);
    EXPECT_EQ(denoiser.Draw(ignored), kDrawDisabled);
    EXPECT_EQ(visibleLuma(*ignored), ignoredLuma);
    EXPECT_FALSE(denoiser.referenceFrame());

    denoiser.setEnable(true);
    FramePtr restart = makeFrame(64, 64, 64, [](int x, int y) { return cleanScene(x, y) + 9; });
    const std::vector<uint8_t> restartLuma = visibleLuma(*restart);
    EXPECT_EQ(denoiser.Draw(restart), kDrawDone);
    EXPECT_EQ(visibleLuma(*restart), restartLuma);
    EXPECT_TRUE(holdsLumaOf(denoiser.referenceFrame(), *restart));

    // What the render engine does on an enable change.
    denoiser.dropReference();
    EXPECT_FALSE(denoiser.referenceFrame());
    FramePtr afterDrop = makeFrame(64, 64, 64, [](int x, int y) { return cleanScene(x, y) + 3; });
    const std::vector<uint8_t> afterDropLuma = visibleLuma(*afterDrop);
    EXPECT_EQ(denoiser.Draw(afterDrop), kDrawDone);
    EXPECT_EQ(visibleLuma(*afterDrop), afterDropLuma);
    EXPECT_TRUE(holdsLumaOf(denoiser.referenceFrame(), *afterDrop));
}

TEST_F(EffectVideoDenoiserTest, ModeZeroWithTheTriggerOffLeavesFramesAndTheReferenceAlone) {
    FramePtr first = makeFrame(64, 64, 64, cleanScene);
    ASSERT_EQ(denoiser.Draw(first), kDrawDone);
    denoiser.setAutoTrigger(false);
    for (int n = 0; n < 3; ++n) {
        FramePtr frame = makeFrame(64, 64, 64, [](int x, int y) { return cleanScene(x, y) + 3; });
        const std::vector<uint8_t> luma = visibleLuma(*frame);
        EXPECT_EQ(denoiser.Draw(frame), kDrawUnchanged);
        EXPECT_EQ(visibleLuma(*frame), luma);
        EXPECT_TRUE(holdsLumaOf(denoiser.referenceFrame(), *first));
    }
    // Any manual mode runs regardless of the trigger, against the kept reference.
    denoiser.setMode(2);
    FramePtr frame = makeFrame(64, 64, 64, [](int x, int y) { return cleanScene(x, y) + 3; });
    const std::vector<uint8_t> luma = visibleLuma(*frame);
    EXPECT_EQ(denoiser.Draw(frame), kDrawDone);
    EXPECT_NE(visibleLuma(*frame), luma);
    EXPECT_NE(denoiser.referenceFrame(), first);
}

TEST_F(EffectVideoDenoiserTest, InitRestoresTheDefaultsAndStartsOver) {
    ASSERT_EQ(denoiser.Draw(makeFrame(64, 64, 64, cleanScene)), kDrawDone);
    denoiser.setMode(1);
    denoiser.setLevel(3);
    denoiser.setAutoTrigger(false);
    denoiser.init();
    EXPECT_EQ(denoiser.mode(), 0);
    EXPECT_EQ(denoiser.level(), 0);
    EXPECT_TRUE(denoiser.autoTrigger());
    EXPECT_TRUE(denoiser.enabled);
    FramePtr next = makeFrame(64, 64, 64, [](int x, int y) { return cleanScene(x, y) + 3; });
    const std::vector<uint8_t> luma = visibleLuma(*next);
    EXPECT_EQ(denoiser.Draw(next), kDrawDone);
    EXPECT_EQ(visibleLuma(*next), luma);
}

TEST_F(EffectVideoDenoiserTest, ANewSizeOrLumaStrideMakesANewReference) {
    // The first reference spans exactly 320 x 240 bytes; reading it with the
    // wider stride of the next frame would run past its end.
    ASSERT_EQ(denoiser.Draw(makeFrame(320, 240, 320, cleanScene)), kDrawDone);
    FramePtr wider = makeFrame(320, 240, 384, [](int x, int y) { return cleanScene(x, y) + 3; });
    ASSERT_EQ(wider->stride(0), 384);
    const std::vector<uint8_t> widerLuma = visibleLuma(*wider);
    EXPECT_EQ(denoiser.Draw(wider), kDrawDone);
    EXPECT_EQ(visibleLuma(*wider), widerLuma);
    EXPECT_TRUE(holdsLumaOf(denoiser.referenceFrame(), *wider));

    for (const auto& size : {std::make_pair(336, 240), std::make_pair(336, 256)}) {
        FramePtr resized = makeFrame(size.first, size.second, 384, cleanScene);
        const std::vector<uint8_t> luma = visibleLuma(*resized);
        EXPECT_EQ(denoiser.Draw(resized), kDrawDone);
        EXPECT_EQ(visibleLuma(*resized), luma);
        EXPECT_TRUE(holdsLumaOf(denoiser.referenceFrame(), *resized));
    }
}

TEST_F(EffectVideoDenoiserTest, RejectsMissingFramesAndKeepsTheReference) {
    FramePtr first = makeFrame(64, 64, 64, cleanScene);
    ASSERT_EQ(denoiser.Draw(first), kDrawDone);
    EXPECT_EQ(denoiser.Draw(nullptr), kDrawNoOutput);
    FramePtr empty(new I420VideoFrame(), I420VideoFrame::deleter());
    EXPECT_EQ(denoiser.Draw(empty), kDrawFailed);
    EXPECT_TRUE(holdsLumaOf(denoiser.referenceFrame(), *first));
}

// Gaussian luma noise from a fixed seed (Box-Muller, so the values do not
// depend on the standard library's distribution).
class GaussianNoise {
public:
    explicit GaussianNoise(uint32_t seed) : rng_(seed) {}
    double next() {
        const double u1 = (rng_() + 1.0) / 4294967297.0, u2 = rng_() / 4294967296.0;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    std::mt19937 rng_;
};

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sse = 0;
    for (size_t i = 0; i < a.size(); ++i) sse += double(a[i] - b[i]) * (a[i] - b[i]);
    return 10.0 * std::log10(255.0 * 255.0 * a.size() / std::max(sse, 1e-9));
}

TEST_F(EffectVideoDenoiserTest, RaisesThePsnrOfAStaticNoisySceneOnceSettled) {
    // Measured gains over frames 20-39: 2.20 dB at sigma 5 and 2.94 dB at
    // sigma 10 (the outer ring of blocks, a fifth of this small frame, keeps
    // 90 % of its noise). The margins leave room for harmless changes to the
    // block tests.
    struct Row {
        double sigma;
        double minGainDb;
    };
    for (const Row row : {Row{5.0, 1.7}, Row{10.0, 2.4}}) {
        SCOPED_TRACE(testing::Message() << "sigma " << row.sigma);
        EffectVideoDenoiser effect;
        effect.setEnable(true);
        GaussianNoise noise(1234);
        const FramePtr clean = makeFrame(320, 240, 320, cleanScene);
        const std::vector<uint8_t> cleanLuma = visibleLuma(*clean);
        double inputPsnr = 0, outputPsnr = 0;
        int counted = 0;
        for (int n = 0; n < 40; ++n) {
            FramePtr frame = makeFrame(320, 240, 320, [&](int x, int y) {
                return static_cast<int>(std::lround(cleanScene(x, y) + row.sigma * noise.next()));
            });
            const std::vector<uint8_t> input = visibleLuma(*frame);
            ASSERT_EQ(effect.Draw(frame), kDrawDone);
            if (n >= 20) {
                inputPsnr += psnr(cleanLuma, input);
                outputPsnr += psnr(cleanLuma, visibleLuma(*frame));
                ++counted;
            }
        }
        inputPsnr /= counted;
        outputPsnr /= counted;
        EXPECT_GT(outputPsnr - inputPsnr, row.minGainDb);
    }
}

TEST_F(EffectVideoDenoiserTest, LevelsZeroAndOneFilterLumaAlikeAndNeverChangeChroma) {
    EffectVideoDenoiser levelOne;
    levelOne.setEnable(true);
    levelOne.setLevel(1);
    GaussianNoise noise(7);
    for (int n = 0; n < 5; ++n) {
        auto make = [&](int seed) {
            GaussianNoise same(seed);
            return makeFrame(
                100, 70, 100,
                [&](int x, int y) {
                    return cleanScene(x + 4 * n, y) + static_cast<int>(8 * same.next());
                },
                n);
        };
        const uint32_t seed = static_cast<uint32_t>(noise.next() * 1000 + 5000);
        FramePtr frame = make(seed), frameOne = make(seed);
        const std::vector<uint8_t> before = chroma(*frame);
        ASSERT_EQ(denoiser.Draw(frame), kDrawDone);
        ASSERT_EQ(levelOne.Draw(frameOne), kDrawDone);
        EXPECT_EQ(chroma(*frame), before) << "frame " << n;
        EXPECT_EQ(chroma(*frameOne), before) << "frame " << n;
        EXPECT_EQ(visibleLuma(*frameOne), visibleLuma(*frame)) << "frame " << n;
    }
}

// Level 2 on a noisy flat picture over which a bright, differently coloured
// square moves 6 samples a frame.
class StrongLevelTest : public testing::Test {
protected:
    static constexpr int kSize = 96;
    static constexpr int kTop = 36, kSide = 24, kStep = 6;

    StrongLevelTest() : noise_(99) {
        denoiser.setEnable(true);
        denoiser.setLevel(2);
    }
    static bool inSquare(int n, int x, int y) {
        return y >= kTop && y < kTop + kSide && x >= 4 + kStep * n && x < 4 + kStep * n + kSide;
    }
    // Clean values: luma 90 / square 210, U 110 / 90, V 150 / 170.
    static int clean(int plane, int n, int x, int y) {
        static const int background[3] = {90, 110, 150}, square[3] = {210, 90, 170};
        const bool in = plane ? inSquare(n, 2 * x, 2 * y) : inSquare(n, x, y);
        return in ? square[plane] : background[plane];
    }
    FramePtr frame(int n) {
        FramePtr f(new I420VideoFrame(), I420VideoFrame::deleter());
        EXPECT_EQ(f->allocateI420(kSize, kSize, kSize, kSize / 2, kSize / 2), 0);
        for (int plane = 0; plane < 3; ++plane) {
            const int size = plane ? kSize / 2 : kSize;
            const double sigma = plane ? 6 : 8;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    f->buffer(plane)[y * f->stride(plane) + x] = clamp8(static_cast<int>(
                        std::lround(clean(plane, n, x, y) + sigma * noise_.next())));
        }
        return f;
    }
    static std::vector<uint8_t> plane(const I420VideoFrame& f, int p) {
        const int size = p ? kSize / 2 : kSize;
        std::vector<uint8_t> out;
        for (int y = 0; y < size; ++y)
            out.insert(out.end(), f.buffer(p) + y * f.stride(p),
                       f.buffer(p) + y * f.stride(p) + size);
        return out;
    }

    EffectVideoDenoiser denoiser;
    GaussianNoise noise_;
};

TEST_F(StrongLevelTest, AMovingSquareLeavesNoTrailWhileStillNoiseIsRemoved) {
    constexpr int kFrames = 10;
    std::vector<uint8_t> in, out;
    for (int n = 0; n < kFrames; ++n) {
        FramePtr f = frame(n);
        in = plane(*f, 0);
        ASSERT_EQ(denoiser.Draw(f), kDrawDone);
        out = plane(*f, 0);
    }
    const int n = kFrames - 1;
    std::vector<uint8_t> stillClean, stillIn, stillOut;
    int moved = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const size_t i = static_cast<size_t>(y) * kSize + x;
            if (inSquare(n, x, y) != inSquare(n - 1, x, y)) {
                // Where the square came or left, the output is the input,
                // moved by at most the light smoothing; a trail of the old
                // picture would be tens of levels off.
                EXPECT_LE(std::abs(out[i] - in[i]), 5) << "at " << x << "," << y;
                ++moved;
            } else if (y >= kTop + kSide + 4) {  // never touched by the square
                stillClean.push_back(90);
                stillIn.push_back(in[i]);
                stillOut.push_back(out[i]);
            }
        }
    EXPECT_EQ(moved, 2 * kSide * kStep);
    // Measured: 8.9 dB after 10 frames.
    EXPECT_GT(psnr(stillClean, stillOut) - psnr(stillClean, stillIn), 6.0);
}

TEST_F(StrongLevelTest, FiltersChromaWithTheSameDecisions) {
    constexpr int kFrames = 10;
    std::vector<uint8_t> in[3], out[3];
    for (int n = 0; n < kFrames; ++n) {
        FramePtr f = frame(n);
        for (int p = 1; p < 3; ++p) in[p] = plane(*f, p);
        ASSERT_EQ(denoiser.Draw(f), kDrawDone);
        for (int p = 1; p < 3; ++p) out[p] = plane(*f, p);
    }
    const int n = kFrames - 1;
    for (int p = 1; p < 3; ++p) {
        SCOPED_TRACE(testing::Message() << "plane " << p);
        std::vector<uint8_t> cleanPlane, stillIn, stillOut;
        for (int y = 0; y < kSize / 2; ++y)
            for (int x = 0; x < kSize / 2; ++x) {
                const size_t i = static_cast<size_t>(y) * (kSize / 2) + x;
                const bool changed = clean(p, n, x, y) != clean(p, n - 1, x, y);
                const bool touched = inSquare(n, 2 * x, 2 * y) || inSquare(n - 1, 2 * x, 2 * y);
                if (changed) {
                    EXPECT_LE(std::abs(out[p][i] - in[p][i]), 6) << "at " << x << "," << y;
                } else if (!touched && 2 * y >= kTop + kSide + 4) {
                    cleanPlane.push_back(static_cast<uint8_t>(clean(p, n, x, y)));
                    stillIn.push_back(in[p][i]);
                    stillOut.push_back(out[p][i]);
                }
            }
        // Measured: 9.6 dB on U, 10.2 dB on V.
        EXPECT_GT(psnr(cleanPlane, stillOut) - psnr(cleanPlane, stillIn), 6.0);
    }
}

TEST_F(StrongLevelTest, SwitchingToLevelTwoStartsOverWithAChromaReference) {
    denoiser.setLevel(0);
    FramePtr first = frame(0);
    ASSERT_EQ(denoiser.Draw(first), kDrawDone);
    FramePtr second = frame(1);
    ASSERT_EQ(denoiser.Draw(second), kDrawDone);
    // The block filter's output has no chroma to blend against: level 2
    // takes the next frame as its reference, unchanged.
    denoiser.setLevel(2);
    FramePtr third = frame(2);
    const std::vector<uint8_t> before[3] = {plane(*third, 0), plane(*third, 1), plane(*third, 2)};
    ASSERT_EQ(denoiser.Draw(third), kDrawDone);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(plane(*third, p), before[p]) << "plane " << p;
}

// A frame whose chroma planes claim less storage than its size needs.
class ShortChromaFrame : public I420VideoFrame {
public:
    int allocatedSize(int plane) const override {
        return plane ? I420VideoFrame::allocatedSize(plane) / 2 : I420VideoFrame::allocatedSize(0);
    }
};

TEST_F(StrongLevelTest, RejectsAFrameWhoseChromaDoesNotCoverItsSize) {
    FramePtr first = frame(0);
    ASSERT_EQ(denoiser.Draw(first), kDrawDone);
    FramePtr shortChroma(new ShortChromaFrame(), I420VideoFrame::deleter());
    ASSERT_EQ(shortChroma->allocateI420(kSize, kSize, kSize, kSize / 2, kSize / 2), 0);
    EXPECT_EQ(denoiser.Draw(shortChroma), kDrawFailed);
    EXPECT_EQ(plane(*denoiser.referenceFrame(), 0), plane(*first, 0));
}

}  // namespace
}  // namespace video
}  // namespace kelvo
