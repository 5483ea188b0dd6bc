#include "denoise/denoiser_filter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "denoise/denoiser_filter_c.h"
#include "denoise/denoiser_rows.h"

namespace kelvo {
namespace video {
namespace {

// A 16x16 block inside a wider plane, so that strides are exercised.
struct Block {
    explicit Block(int stride = 16, uint8_t fill = 0)
        : stride(stride), data(static_cast<size_t>(stride) * 16, fill) {}
    uint8_t& at(int x, int y) { return data[static_cast<size_t>(y) * stride + x]; }
    uint8_t* ptr() { return data.data(); }
    int stride;
    std::vector<uint8_t> data;
};

Block randomBlock(std::mt19937& rng, int stride) {
    Block b(stride);
    std::uniform_int_distribution<int> sample(0, 255);
    for (auto& v : b.data) v = static_cast<uint8_t>(sample(rng));
    return b;
}

struct Denoised {
    BlockDecision decision;
    int sumDiff;
    Block out;
};

Denoised denoise(Block& reference, Block& source, int strong) {
    auto filter = DenoiserFilter::create(false);
    Denoised r{kFilterBlock, -1, Block(20, 0xEE)};
    r.decision = filter->denoiseBlock(reference.ptr(), reference.stride, r.out.ptr(), r.out.stride,
                                      source.ptr(), source.stride, 0, strong, &r.sumDiff);
    return r;
}

TEST(DenoiseBlock, IdenticalBlocksAreStaticAndCopyTheReference) {
    std::mt19937 rng(7);
    for (int strong : {0, 1}) {
        Block source = randomBlock(rng, 19);
        Block reference = source;
        Denoised r = denoise(reference, source, strong);
        EXPECT_EQ(r.decision, kFilterBlock);
        EXPECT_EQ(r.sumDiff, 0);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) ASSERT_EQ(r.out.at(x, y), reference.at(x, y));
    }
}

TEST(DenoiseBlock, UniformDifferenceOfTwentyMovesEverySampleByTheLargestAdjustment) {
    struct Row {
        const char* name;
        int source, reference, strong;
        int expectedOut, expectedSumDiff;
    };
    const Row rows[] = {
        // 16 x 7 = 112 per column, below the cap of 127.
        {"brighter reference", 100, 120, 0, 107, 1792},
        // 16 x 8 = 128 per column, held at 127.
        {"brighter reference, strong", 100, 120, 1, 108, 2032},
        {"darker reference", 120, 100, 0, 113, 1792},
        // -128 per column: the cap applies only from above.
        {"darker reference, strong", 120, 100, 1, 112, 2048},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Block source(16, static_cast<uint8_t>(row.source));
        Block reference(24, static_cast<uint8_t>(row.reference));
        Denoised r = denoise(reference, source, row.strong);
        EXPECT_EQ(r.decision, kCopyBlock);
        EXPECT_EQ(r.sumDiff, row.expectedSumDiff);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) ASSERT_EQ(r.out.at(x, y), row.expectedOut);
    }
}

// One differing sample on an otherwise equal block isolates the adjustment
// bands and their edges.
TEST(DenoiseBlock, AdjustmentDependsOnTheDifferenceBand) {
    struct Row {
        int source, reference, strong;
        int expectedOut, expectedSumDiff;
    };
    const Row rows[] = {
        {250, 255, 0, 254, 4},  // d = 5: +4, never past the reference
        {100, 103, 0, 103, 3},  // within the small limit: the reference, sum gains d
        {100, 104, 0, 104, 4},  // first band, normal
        {100, 104, 1, 104, 4},  // within the small limit when strong
        {100, 105, 1, 105, 5},  // first band, strong
        {100, 107, 0, 104, 4}, {100, 108, 0, 105, 5},                         // second band
        {100, 108, 1, 106, 6}, {100, 115, 0, 105, 5}, {100, 116, 0, 107, 7},  // third band
        {100, 116, 1, 108, 8}, {0, 255, 0, 7, 7},     {255, 0, 1, 247, 8},
        {100, 92, 0, 95, 5},  // negative differences mirror the positive ones
        {100, 97, 1, 97, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "source " << row.source << " reference " << row.reference
                                        << " strong " << row.strong);
        Block source(16, 60);
        Block reference(16, 60);
        source.at(5, 9) = static_cast<uint8_t>(row.source);
        reference.at(5, 9) = static_cast<uint8_t>(row.reference);
        Denoised r = denoise(reference, source, row.strong);
        EXPECT_EQ(r.out.at(5, 9), row.expectedOut);
        EXPECT_EQ(r.out.at(4, 9), 60);
        EXPECT_EQ(r.sumDiff, row.expectedSumDiff);
        EXPECT_EQ(r.decision, kFilterBlock);
    }
}

TEST(DenoiseBlock, DecisionThresholdIs96NormallyAnd448WhenStrong) {
    struct Row {
        int strong, samples, difference, extra;
        int expectedSumDiff;
        BlockDecision expected;
    };
    const Row rows[] = {
        {0, 24, 4, 0, 96, kFilterBlock},  // 24 x 4
        {0, 24, 4, 1, 97, kCopyBlock},
        {1, 56, 16, 0, 448, kFilterBlock},  // 56 x 8
        {1, 56, 16, 1, 449, kCopyBlock},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "strong " << row.strong << " sum " << row.expectedSumDiff);
        Block source(16, 100);
        Block reference(16, 100);
        // Spread over the columns so that no column sum reaches the cap.
        for (int i = 0; i < row.samples; ++i)
            reference.at(i % 16, i / 16) = static_cast<uint8_t>(100 + row.difference);
        reference.at(3, 15) = static_cast<uint8_t>(100 + row.extra);
        Denoised r = denoise(reference, source, row.strong);
        EXPECT_EQ(r.sumDiff, row.expectedSumDiff);
        EXPECT_EQ(r.decision, row.expected);
    }
}

TEST(DenoiseBlock, EveryOutputSampleLiesBetweenSourceAndReference) {
    auto filter = DenoiserFilter::create(true);
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        std::mt19937 rng(seed);
        Block source = randomBlock(rng, 16 + static_cast<int>(seed % 7));
        Block reference = randomBlock(rng, 16 + static_cast<int>(seed % 5));
        // Half of the seeds use small differences, where the bands matter most.
        if (seed % 2) {
            std::uniform_int_distribution<int> offset(-20, 20);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    reference.at(x, y) =
                        static_cast<uint8_t>(std::clamp(source.at(x, y) + offset(rng), 0, 255));
        }
        const int strong = static_cast<int>(seed / 2 % 2);
        Block out(21);
        int sumDiff = -1;
        filter->denoiseBlock(reference.ptr(), reference.stride, out.ptr(), out.stride, source.ptr(),
                             source.stride, 0, strong, &sumDiff);
        ASSERT_GE(sumDiff, 0);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int lo = std::min(source.at(x, y), reference.at(x, y));
                const int hi = std::max(source.at(x, y), reference.at(x, y));
                ASSERT_GE(out.at(x, y), lo) << "seed " << seed << " at " << x << "," << y;
                ASSERT_LE(out.at(x, y), hi) << "seed " << seed << " at " << x << "," << y;
            }
        }
    }
}

TEST(Variance16x8, IsZeroForEqualBlocksAndForAConstantOffset) {
    auto filter = DenoiserFilter::create(false);
    std::mt19937 rng(3);
    Block a = randomBlock(rng, 17);
    Block b(16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) b.at(x, y) = a.at(x, y);
    uint32_t sse = 1;
    EXPECT_EQ(filter->variance16x8(a.ptr(), a.stride, b.ptr(), b.stride, &sse), 0u);
    EXPECT_EQ(sse, 0u);

    Block dark(16, 40);
    Block light(23, 49);
    EXPECT_EQ(filter->variance16x8(light.ptr(), light.stride, dark.ptr(), dark.stride, &sse), 0u);
    EXPECT_EQ(sse, 128u * 81u);
}

TEST(Variance16x8, ReadsOnlyTheEvenRows) {
    auto filter = DenoiserFilter::create(false);
    Block a(16, 100);
    Block b(16, 100);
    // Odd rows differ wildly; even rows differ by +2 on the left, -2 on the right.
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (y % 2)
                a.at(x, y) = static_cast<uint8_t>((x * 37 + y * 11) & 0xFF);
            else
                a.at(x, y) = x < 8 ? 102 : 98;
        }
    }
    uint32_t sse = 0;
    EXPECT_EQ(filter->variance16x8(a.ptr(), a.stride, b.ptr(), b.stride, &sse), 512u);
    EXPECT_EQ(sse, 512u);
}

// 128 * sum(d^2) - (sum d)^2 equals the sum of (d_i - d_j)^2 over all pairs,
// which gives the variance without the kernel's formula.
TEST(Variance16x8, MatchesThePairwiseDifferenceFormOnRandomBlocks) {
    auto filter = DenoiserFilter::create(false);
    for (uint32_t seed = 1; seed <= 50; ++seed) {
        std::mt19937 rng(seed);
        Block a = randomBlock(rng, 16 + static_cast<int>(seed % 9));
        Block b = randomBlock(rng, 16 + static_cast<int>(seed % 4));
        std::vector<int> d;
        uint64_t squares = 0;
        for (int y = 0; y < 16; y += 2) {
            for (int x = 0; x < 16; ++x) {
                d.push_back(a.at(x, y) - b.at(x, y));
                squares += static_cast<uint64_t>(d.back() * d.back());
            }
        }
        uint64_t pairwise = 0;
        for (size_t i = 0; i < d.size(); ++i)
            for (size_t j = i + 1; j < d.size(); ++j)
                pairwise += static_cast<uint64_t>((d[i] - d[j]) * (d[i] - d[j]));
        // sse - floor(sum^2 / 128) = ceil(pairwise / 128).
        const uint64_t expected = (pairwise + 127) / 128;
        uint32_t sse = 0;
        EXPECT_EQ(filter->variance16x8(a.ptr(), a.stride, b.ptr(), b.stride, &sse), expected)
            << "seed " << seed;
        EXPECT_EQ(sse, squares) << "seed " << seed;
    }
}

TEST(CopyBlock16x16, CopiesSixteenRowsWithOddStridesAndTouchesNothingElse) {
    auto filter = DenoiserFilter::create(false);
    std::mt19937 rng(11);
    const int srcStride = 17;
    const int dstStride = 23;
    std::vector<uint8_t> src(srcStride * 16 + 1);
    for (auto& v : src) v = static_cast<uint8_t>(rng());
    std::vector<uint8_t> dst(dstStride * 18, 0xA5);
    // Unaligned source and a destination one row and three bytes in.
    filter->copyBlock16x16(src.data() + 1, srcStride, dst.data() + dstStride + 3, dstStride);
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < dstStride; ++x) {
            const bool inside = y >= 1 && y < 17 && x >= 3 && x < 19;
            const uint8_t expected = inside ? src[1 + (y - 1) * srcStride + (x - 3)] : 0xA5;
            ASSERT_EQ(dst[y * dstStride + x], expected) << x << "," << y;
        }
    }
}

TEST(DenoiserFilterFactory, GivesThePortableKernelsOrThoseOfTheProcessorsRows) {
    EXPECT_NE(dynamic_cast<DenoiserFilterC*>(DenoiserFilter::create(false).get()), nullptr);
    const bool portableRows = denoiserRows().denoiseBlock == DenoiseBlock_C;
    EXPECT_EQ(dynamic_cast<DenoiserFilterC*>(DenoiserFilter::create(true).get()) != nullptr,
              portableRows);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
