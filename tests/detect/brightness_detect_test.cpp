#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "detect/brightness_detect_impl.h"

namespace kelvo {
namespace video {
namespace {

int32_t referenceLog(int v) {
    return v == 119 ? -760 : static_cast<int32_t>(std::ceil(1000.0 * std::log(v / 255.0 + 0.001)));
}

// Last value whose cumulative count is below the share, searched on its own.
int lastBelow(const uint32_t* histogram, float share, int fallback) {
    uint32_t cum = 0;
    for (int i = 0; i < 256; ++i)
        if (static_cast<float>(cum += histogram[i]) < share) fallback = i;
    return fallback;
}

// Straight from the definitions: every pixel is visited, those on the
// sampling grid are kept.
MetaDataFrameStats reference(const std::vector<uint8_t>& plane, int w, int h) {
    MetaDataFrameStats r;
    const int n = w * h;
    const int shift = n >= 307200 ? 3 : n >= 101376 ? 2 : n >= 25344 ? 1 : 0;
    const int step = 1 << shift;
    r.horizontalStepShift = r.verticalStepShift = static_cast<uint8_t>(shift);
    std::vector<int> samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (x % step == 0 && y % step == 0) samples.push_back(plane[y * w + x]);
    for (int v : samples) {
        r.histogram[v]++;
        r.sum += v;
        r.logSum += referenceLog(v);
    }
    r.sampleCount = n / (step * step);
    r.mean = r.sum / r.sampleCount;
    r.logAverage = static_cast<float>(std::exp(r.logSum / (r.sampleCount * 1000.0)));
    float dark = 0, squares = 0;
    for (int v = 0; v < 100; ++v) dark += r.histogram[v];
    for (int v : samples) squares += (float(v) - r.mean) * (float(v) - r.mean);
    r.darkFraction = dark / r.sampleCount;
    r.standardDeviation = std::sqrt(squares / r.sampleCount);
    const float c = static_cast<float>(r.sampleCount);
    r.percentile5 = lastBelow(r.histogram, 0.05f * c, 0);
    r.median = lastBelow(r.histogram, 0.5f * c, 120);
    r.percentile95 = lastBelow(r.histogram, 0.95f * c, 255);
    return r;
}

void expectSameStats(const MetaDataFrameStats& s, const MetaDataFrameStats& r) {
    EXPECT_EQ(s.metadataKind, 1);
    EXPECT_EQ(s.horizontalStepShift, r.horizontalStepShift);
    EXPECT_EQ(s.verticalStepShift, r.verticalStepShift);
    EXPECT_EQ(s.sampleCount, r.sampleCount);
    EXPECT_EQ(s.sum, r.sum);
    EXPECT_EQ(s.mean, r.mean);
    EXPECT_EQ(s.logSum, r.logSum);
    EXPECT_FLOAT_EQ(s.logAverage, r.logAverage);
    EXPECT_FLOAT_EQ(s.darkFraction, r.darkFraction);
    EXPECT_FLOAT_EQ(s.standardDeviation, r.standardDeviation);
    EXPECT_EQ(s.percentile5, r.percentile5);
    EXPECT_EQ(s.median, r.median);
    EXPECT_EQ(s.percentile95, r.percentile95);
    EXPECT_EQ(0, std::memcmp(s.histogram, r.histogram, sizeof r.histogram));
}

std::vector<uint8_t> randomPlane(int w, int h, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> plane(static_cast<size_t>(w) * h);
    for (auto& v : plane) v = static_cast<uint8_t>(gen());
    return plane;
}

class BrightnessDetect : public ::testing::Test {
protected:
    void SetUp() override { detector.setEnabled(true); }
    int run(const std::vector<uint8_t>& plane, int w, int h) {
        return detector.detect(1, w, h, plane.data(), static_cast<int>(plane.size()));
    }
    const MetaDataFrameStats& stats() const { return *detector.stats(); }
    BrightnessDetectImpl detector;
};

TEST(BrightnessLogTable, HoldsRoundedUpLogarithmsWithEntry119Pinned) {
    const int32_t* t = BrightnessDetectImpl::logTable();
    EXPECT_EQ(t[0], -6907);
    EXPECT_EQ(t[1], -5314);
    EXPECT_EQ(t[100], -933);
    EXPECT_EQ(t[119], -760);
    EXPECT_EQ(t[255], 1);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(t[v], referenceLog(v)) << "v = " << v;
}

TEST_F(BrightnessDetect, ConstantPlaneGivesDegenerateStatistics) {
    ASSERT_EQ(run(std::vector<uint8_t>(640 * 480, 50), 640, 480), 0);
    EXPECT_EQ(stats().horizontalStepShift, 3);
    EXPECT_EQ(stats().sampleCount, 4800u);
    EXPECT_EQ(stats().mean, 50u);
    EXPECT_FLOAT_EQ(stats().darkFraction, 1.0f);
    EXPECT_FLOAT_EQ(stats().standardDeviation, 0.0f);
    EXPECT_EQ(stats().percentile5, 49);
    EXPECT_EQ(stats().median, 49);
    EXPECT_EQ(stats().percentile95, 49);
    EXPECT_NEAR(stats().logAverage, 0.197, 0.001);
}

TEST_F(BrightnessDetect, BlackPlaneStopsThePercentileWalkAtOnceKeepingTheDefaults) {
    ASSERT_EQ(run(std::vector<uint8_t>(640 * 480, 0), 640, 480), 0);
    EXPECT_EQ(stats().mean, 0u);
    EXPECT_FLOAT_EQ(stats().darkFraction, 1.0f);
    EXPECT_EQ(stats().percentile5, 0);
    EXPECT_EQ(stats().median, 120);
    EXPECT_EQ(stats().percentile95, 255);
}

struct SizeCase {
    int width, height, shift;
    uint32_t count;
};

class BrightnessSampling : public ::testing::TestWithParam<SizeCase> {};

TEST_P(BrightnessSampling, RandomPlaneMatchesTheReferenceAtEachStepBoundary) {
    const SizeCase c = GetParam();
    BrightnessDetectImpl d;
    d.setEnabled(true);
    const auto plane = randomPlane(c.width, c.height, c.width * 1000u + c.height);
    ASSERT_EQ(d.detect(1, c.width, c.height, plane.data(), static_cast<int>(plane.size())), 0);
    EXPECT_EQ(d.stats()->horizontalStepShift, c.shift);
    EXPECT_EQ(d.stats()->sampleCount, c.count);
    expectSameStats(*d.stats(), reference(plane, c.width, c.height));
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, BrightnessSampling,
    ::testing::Values(SizeCase{175, 144, 0, 25200}, SizeCase{176, 144, 1, 6336},
                      SizeCase{351, 288, 1, 25272}, SizeCase{352, 288, 2, 6336},
                      SizeCase{639, 480, 2, 19170}, SizeCase{640, 480, 3, 4800},
                      // 81 columns sampled per row, yet the count is 308160 / 64.
                      SizeCase{642, 480, 3, 4815}, SizeCase{7, 3, 0, 21}),
    [](const ::testing::TestParamInfo<SizeCase>& info) {
        return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
    });

TEST_F(BrightnessDetect, RefusalsKeepTheRecordOfTheLastSuccessfulRun) {
    const auto plane = randomPlane(320, 240, 1);
    ASSERT_EQ(run(plane, 320, 240), 0);
    const MetaDataFrameStats before = stats();
    const auto other = std::vector<uint8_t>(320 * 240, 200);
    const int size = static_cast<int>(other.size());
    EXPECT_EQ(detector.detect(1, 320, 240, nullptr, size), -6);
    EXPECT_EQ(detector.detect(2, 320, 240, other.data(), size), -6);
    EXPECT_EQ(detector.detect(1, 0, 240, other.data(), size), -6);
    EXPECT_EQ(detector.detect(1, 320, -1, other.data(), size), -6);
    EXPECT_EQ(detector.detect(1, 320, 240, other.data(), 0), -6);
    detector.setEnabled(false);
    EXPECT_EQ(run(other, 320, 240), -4);
    expectSameStats(stats(), before);
}

// Heap buffers of the exact size, so that a read past them trips ASan.
TEST_F(BrightnessDetect, ReadsNoFurtherThanTheLastSampledByteAndRefusesShortData) {
    const int last = 472 * 640 + 632;  // row 472, column 632 at step 8
    EXPECT_EQ(run(std::vector<uint8_t>(last + 1, 80), 640, 480), 0);
    EXPECT_EQ(stats().mean, 80u);
    EXPECT_EQ(run(std::vector<uint8_t>(last, 30), 640, 480), -6);
    EXPECT_EQ(stats().mean, 80u);
    // Sizes whose product overflows 32 bits.
    EXPECT_EQ(run(std::vector<uint8_t>(1024, 30), 1 << 30, 1 << 30), -6);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
