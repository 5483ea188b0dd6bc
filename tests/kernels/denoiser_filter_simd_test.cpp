// Every fast kernel set against the portable one, bit for bit, on random
// blocks at unaligned addresses with odd strides.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "denoise/denoiser_blend.h"
#include "denoise/denoiser_filter.h"
#include "denoise/denoiser_filter_c.h"
#include "denoise/denoiser_filter_x86.h"
#include "denoise/noise_estimator.h"

namespace kelvo {
namespace video {
namespace {

struct Variant {
    const char* name;
    bool (*supported)();
    std::unique_ptr<DenoiserFilter> (*make)();
};

std::vector<Variant> fastVariants() {
    std::vector<Variant> v;
#if KELVO_DENOISER_X86
    v.push_back({"SSE2", denoiserCpuHasSSE2,
                 [] { return std::unique_ptr<DenoiserFilter>(new DenoiserFilterSSE2()); }});
    v.push_back({"AVX2", denoiserCpuHasAVX2,
                 [] { return std::unique_ptr<DenoiserFilter>(new DenoiserFilterAVX2()); }});
#endif
    return v;
}

// A block at byte offset `offset` of a plane whose rows are `stride` apart,
// so that loads cross alignment boundaries.
struct Plane {
    Plane(int stride, int offset) : stride(stride), offset(offset),
                                    data(static_cast<size_t>(stride) * 16 + offset + 16) {}
    uint8_t* block() { return data.data() + offset; }
    uint8_t& at(int x, int y) { return block()[y * stride + x]; }
    int stride, offset;
    std::vector<uint8_t> data;
};

// Source random; reference either random or the source plus a small signed
// difference, so that every adjustment band and both clamps are reached.
void fill(std::mt19937& rng, Plane& source, Plane& reference, int spread) {
    std::uniform_int_distribution<int> sample(0, 255);
    std::uniform_int_distribution<int> diff(-spread, spread);
    for (auto& v : source.data) v = static_cast<uint8_t>(sample(rng));
    for (auto& v : reference.data) v = static_cast<uint8_t>(sample(rng));
    if (spread > 255) return;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int r = source.at(x, y) + diff(rng);
            reference.at(x, y) = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
        }
}

class FastDenoiserFilter : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        const auto variants = fastVariants();
        if (static_cast<size_t>(GetParam()) >= variants.size())
            GTEST_SKIP() << "no such variant on this architecture";
        const Variant& v = variants[static_cast<size_t>(GetParam())];
        if (!v.supported()) GTEST_SKIP() << v.name << " not supported by this processor";
        fast = v.make();
    }
    DenoiserFilterC portable;
    std::unique_ptr<DenoiserFilter> fast;
    std::mt19937 rng{2024};
};

TEST_P(FastDenoiserFilter, DenoiseBlockMatchesPortableOutputDecisionAndSum) {
    std::uniform_int_distribution<int> pick(0, 15);
    const int spreads[] = {3, 5, 9, 18, 40, 256};
    for (int trial = 0; trial < 3000; ++trial) {
        const int spread = spreads[trial % 6];
        Plane source(16 + 2 * pick(rng) + 1, pick(rng));
        Plane reference(16 + pick(rng), pick(rng));
        fill(rng, source, reference, spread);
        for (int strong : {0, 1}) {
            Plane a(17 + pick(rng), pick(rng)), b(a.stride, a.offset);
            a.data.assign(a.data.size(), 0x5A);
            b.data = a.data;
            int sumA = -1, sumB = -2;
            const BlockDecision da =
                portable.denoiseBlock(reference.block(), reference.stride, a.block(), a.stride,
                                      source.block(), source.stride, 0, strong, &sumA);
            const BlockDecision db =
                fast->denoiseBlock(reference.block(), reference.stride, b.block(), b.stride,
                                   source.block(), source.stride, 0, strong, &sumB);
            ASSERT_EQ(da, db) << "trial " << trial << " strong " << strong;
            ASSERT_EQ(sumA, sumB) << "trial " << trial << " strong " << strong;
            // The whole plane: the block and the untouched bytes around it.
            ASSERT_EQ(a.data, b.data) << "trial " << trial << " strong " << strong;
        }
    }
}

TEST_P(FastDenoiserFilter, DenoiseBlockCapsLargeColumnSumsLikePortable) {
    // Uniform differences give column sums at and beyond the cap of 127.
    for (int d : {-30, -20, -8, -5, 5, 8, 20, 30})
        for (int strong : {0, 1}) {
            Plane source(16, 1), reference(16, 3);
            source.data.assign(source.data.size(), 120);
            reference.data.assign(reference.data.size(), static_cast<uint8_t>(120 + d));
            Plane a(16, 0), b(16, 0);
            int sumA = 0, sumB = 0;
            EXPECT_EQ(portable.denoiseBlock(reference.block(), 16, a.block(), 16, source.block(),
                                            16, 0, strong, &sumA),
                      fast->denoiseBlock(reference.block(), 16, b.block(), 16, source.block(), 16,
                                         0, strong, &sumB));
            EXPECT_EQ(sumA, sumB) << "d " << d << " strong " << strong;
            EXPECT_EQ(a.data, b.data);
        }
}

TEST_P(FastDenoiserFilter, DenoiseBlockAcceptsNullSumDiff) {
    Plane source(16, 0), reference(16, 0), out(16, 0);
    fill(rng, source, reference, 20);
    int sum = 0;
    EXPECT_EQ(fast->denoiseBlock(reference.block(), 16, out.block(), 16, source.block(), 16, 0, 0,
                                 nullptr),
              portable.denoiseBlock(reference.block(), 16, out.block(), 16, source.block(), 16, 0,
                                    0, &sum));
}

TEST_P(FastDenoiserFilter, Variance16x8MatchesPortableResultAndSse) {
    std::uniform_int_distribution<int> pick(0, 15);
    const int spreads[] = {0, 4, 30, 256};
    for (int trial = 0; trial < 3000; ++trial) {
        Plane a(16 + pick(rng) * 3, pick(rng)), b(16 + pick(rng), pick(rng));
        fill(rng, a, b, spreads[trial % 4]);
        uint32_t sseA = 1, sseB = 2;
        ASSERT_EQ(portable.variance16x8(a.block(), a.stride, b.block(), b.stride, &sseA),
                  fast->variance16x8(a.block(), a.stride, b.block(), b.stride, &sseB))
            << "trial " << trial;
        ASSERT_EQ(sseA, sseB) << "trial " << trial;
        ASSERT_EQ(portable.variance16x8(a.block(), a.stride, b.block(), b.stride, nullptr),
                  fast->variance16x8(a.block(), a.stride, b.block(), b.stride, nullptr));
    }
}

TEST_P(FastDenoiserFilter, Variance16x8OfExtremeBlocksMatchesPortable) {
    // The largest sums and squares: 0 against 255 in either direction, and
    // alternating extremes whose sum cancels.
    for (int pattern = 0; pattern < 3; ++pattern) {
        Plane a(33, 5), b(19, 11);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const bool high = pattern == 0 || (pattern == 2 && (x + y) % 2 == 0);
                a.at(x, y) = high ? 255 : 0;
                b.at(x, y) = high ? 0 : 255;
            }
        uint32_t sseA = 0, sseB = 0;
        EXPECT_EQ(portable.variance16x8(a.block(), a.stride, b.block(), b.stride, &sseA),
                  fast->variance16x8(a.block(), a.stride, b.block(), b.stride, &sseB));
        EXPECT_EQ(sseA, sseB);
    }
}

TEST_P(FastDenoiserFilter, CopyBlockWritesSixteenBytesOfSixteenRowsOnly) {
    std::uniform_int_distribution<int> pick(0, 15);
    for (int trial = 0; trial < 50; ++trial) {
        Plane src(16 + pick(rng), pick(rng)), a(21 + pick(rng), pick(rng)), b(a.stride, a.offset);
        fill(rng, src, a, 256);
        b.data = a.data;
        portable.copyBlock16x16(src.block(), src.stride, a.block(), a.stride);
        fast->copyBlock16x16(src.block(), src.stride, b.block(), b.stride);
        ASSERT_EQ(a.data, b.data);
    }
}

TEST_P(FastDenoiserFilter, WholeLumaPassOverSeveralFramesMatchesPortable) {
    // Odd size with margins; the output feeds back as the next reference, so
    // estimator history and strong mode build up the same way in both.
    const int w = 333, h = 211, stride = 341;
    std::uniform_int_distribution<int> noise(-9, 9);
    std::vector<uint8_t> scene(size_t(stride) * h);
    for (size_t i = 0; i < scene.size(); ++i) scene[i] = static_cast<uint8_t>(30 + i % 190);
    std::vector<uint8_t> refA = scene, refB = scene;
    NoiseEstimator estA{}, estB{};
    estA.init(w, h);
    estB.init(w, h);
    DenoiserBlockMaps mapsA, mapsB;
    for (int frame = 0; frame < 12; ++frame) {
        std::vector<uint8_t> source(scene.size());
        for (size_t i = 0; i < source.size(); ++i) {
            const int v = scene[i] + noise(rng) * (frame % 3 + 1);
            source[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
        std::vector<uint8_t> outA(source.size(), 0), outB(source.size(), 0);
        const int strongA = denoiseLumaPlane(portable, &estA, refA.data(), source.data(),
                                             outA.data(), stride, w, h, mapsA);
        const int strongB = denoiseLumaPlane(*fast, &estB, refB.data(), source.data(),
                                             outB.data(), stride, w, h, mapsB);
        ASSERT_EQ(strongA, strongB) << "frame " << frame;
        ASSERT_EQ(outA, outB) << "frame " << frame;
        ASSERT_EQ(mapsA.blockDifference, mapsB.blockDifference);
        ASSERT_EQ(mapsA.movingEdge, mapsB.movingEdge);
        refA = outA;
        refB = outB;
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, FastDenoiserFilter, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 0 ? "SSE2" : "AVX2");
                         });

TEST(DenoiserFilterFactory, WithoutDetectionGivesThePortableKernels) {
    auto filter = DenoiserFilter::create(false);
    EXPECT_NE(dynamic_cast<DenoiserFilterC*>(filter.get()), nullptr);
}

TEST(DenoiserFilterFactory, WithDetectionGivesTheWidestSupportedVariant) {
    auto filter = DenoiserFilter::create(true);
    ASSERT_NE(filter, nullptr);
#if KELVO_DENOISER_X86
    if (denoiserCpuHasAVX2()) {
        EXPECT_NE(dynamic_cast<DenoiserFilterAVX2*>(filter.get()), nullptr);
    } else if (denoiserCpuHasSSE2()) {
        EXPECT_NE(dynamic_cast<DenoiserFilterSSE2*>(filter.get()), nullptr);
    }
#else
    EXPECT_NE(dynamic_cast<DenoiserFilterC*>(filter.get()), nullptr);
#endif
}

}  // namespace
}  // namespace video
}  // namespace kelvo
