// The fast statistics pass against the portable scan: every field equal, bit
// for bit, on random planes of odd sizes in every sampling class.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "detect/brightness_stats.h"

namespace kelvo {
namespace video {
namespace {

int shiftFor(int w, int h) {
    const int64_t n = int64_t(w) * h;
    return n >= 307200 ? 3 : n >= 101376 ? 2 : n >= 25344 ? 1 : 0;
}

uint32_t floatBits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

void expectIdentical(const MetaDataFrameStats& a, const MetaDataFrameStats& b) {
    for (int v = 0; v < 256; ++v) ASSERT_EQ(a.histogram[v], b.histogram[v]) << "value " << v;
    EXPECT_EQ(a.mean, b.mean);
    EXPECT_EQ(a.sum, b.sum);
    EXPECT_EQ(a.sampleCount, b.sampleCount);
    EXPECT_EQ(a.horizontalStepShift, b.horizontalStepShift);
    EXPECT_EQ(a.verticalStepShift, b.verticalStepShift);
    EXPECT_EQ(floatBits(a.darkFraction), floatBits(b.darkFraction));
    EXPECT_EQ(floatBits(a.standardDeviation), floatBits(b.standardDeviation));
    EXPECT_EQ(floatBits(a.logAverage), floatBits(b.logAverage));
    EXPECT_EQ(a.logSum, b.logSum);
    EXPECT_EQ(a.median, b.median);
    EXPECT_EQ(a.percentile5, b.percentile5);
    EXPECT_EQ(a.percentile95, b.percentile95);
    EXPECT_EQ(a.metadataKind, b.metadataKind);
}

// Squared deviations of the sampled values around their mean, exactly.
uint64_t exactSquares(const uint8_t* p, int w, int h, int shift) {
    const int step = 1 << shift;
    uint64_t sum = 0, count = 0, squares = 0;
    for (int y = 0; y < h; y += step)
        for (int x = 0; x < w; x += step) sum += p[size_t(y) * w + x];
    count = uint64_t(int64_t(w) * h >> (2 * shift));
    const int64_t mean = int64_t(uint32_t(sum) / uint32_t(count));
    for (int y = 0; y < h; y += step)
        for (int x = 0; x < w; x += step) {
            const int64_t d = p[size_t(y) * w + x] - mean;
            squares += uint64_t(d * d);
        }
    return squares;
}

void compare(const uint8_t* plane, int w, int h) {
    const int shift = shiftFor(w, h);
    MetaDataFrameStats portable, fast;
    fast.sum = 12345;  // stale values must all be overwritten
    fast.median = -3;
    computeBrightnessStats(plane, w, h, shift, BrightnessPass::kPortable, portable);
    computeBrightnessStats(plane, w, h, shift, BrightnessPass::kFast, fast);
    expectIdentical(portable, fast);
}

TEST(FastBrightnessStats, MatchThePortableScanOnNoiseOfOddSizesInEverySamplingClass) {
    std::mt19937 rng(5);
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{1, 1},     {3, 7},     {175, 143}, {177, 145},  {353, 289},
                          {351, 291}, {641, 481}, {643, 479}, {1281, 719}, {1921, 1081}};
    // Narrow spreads keep the exact squared total at or below 2^24, wide
    // ones push it above; both ways of adding them up are checked.
    const int spreads[] = {1, 6, 40, 255};
    bool small = false, large = false;
    for (const Size& s : sizes)
        for (int spread : spreads) {
            SCOPED_TRACE(::testing::Message() << s.w << "x" << s.h << " spread " << spread);
            std::uniform_int_distribution<int> centre(0, 255), offset(-spread, spread);
            const int c = centre(rng);
            std::vector<uint8_t> buffer(size_t(s.w) * s.h + 1);
            for (auto& v : buffer) {
                const int x = c + offset(rng);
                v = static_cast<uint8_t>(x < 0 ? 0 : x > 255 ? 255 : x);
            }
            // One byte in, so the plane starts at an odd address.
            const uint8_t* plane = buffer.data() + 1;
            (exactSquares(plane, s.w, s.h, shiftFor(s.w, s.h)) <= (1u << 24) ? small : large) =
                true;
            compare(plane, s.w, s.h);
        }
    EXPECT_TRUE(small);
    EXPECT_TRUE(large);
}

TEST(FastBrightnessStats, MatchThePortableScanOnConstantAndTwoLevelPlanes) {
    for (int value : {0, 1, 99, 100, 119, 254, 255}) {
        std::vector<uint8_t> plane(size_t(641) * 480, static_cast<uint8_t>(value));
        compare(plane.data(), 641, 480);
    }
    // Half black, half white: the largest squared deviations.
    for (int w : {200, 640, 1280}) {
        const int h = w * 9 / 16 + 1;
        std::vector<uint8_t> plane(size_t(w) * h);
        for (size_t i = 0; i < plane.size(); ++i) plane[i] = (i / 8) % 2 ? 255 : 0;
        compare(plane.data(), w, h);
    }
}

TEST(FastBrightnessStats, MatchThePortableScanWhenTheSquaredTotalSitsAtTwoToThe24) {
    // 4096 samples (shift 0) of two values around a mean of 64: every
    // deviation is 64, so the exact total is 4096 * 4096 = 2^24; one
    // sample further out crosses the limit.
    for (int bump : {0, 1}) {
        std::vector<uint8_t> plane(64 * 64);
        for (size_t i = 0; i < plane.size(); ++i) plane[i] = i % 2 ? 128 : 0;
        plane[1] = static_cast<uint8_t>(128 + bump);
        compare(plane.data(), 64, 64);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
