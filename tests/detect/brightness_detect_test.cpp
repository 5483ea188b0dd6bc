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

// Straight from the definitions: every pixel is visited and kept when it lies
// on the sampling grid; percentiles are searched separately per share.
struct ReferenceStats {
    uint32_t histogram[256] = {};
    int shift = 0;
    uint32_t sum = 0;
    uint32_t count = 0;
    uint32_t mean = 0;
    int64_t logSum = 0;
    float logAverage = 0;
    float darkFraction = 0;
    float deviation = 0;
    int p5 = 0, median = 120, p95 = 255;
};

int32_t referenceLog(int v) {
    if (v == 119) return -760;
    return static_cast<int32_t>(std::ceil(1000.0 * std::log(v / 255.0 + 0.001)));
}

int lastBelow(const uint32_t* histogram, float share, int fallback) {
    int found = fallback;
    uint32_t cum = 0;
    for (int i = 0; i < 256; ++i) {
        cum += histogram[i];
        if (static_cast<float>(cum) < share) found = i;
    }
    return found;
}

ReferenceStats reference(const std::vector<uint8_t>& plane, int w, int h) {
    ReferenceStats r;
    const int n = w * h;
    r.shift = n >= 307200 ? 3 : n >= 101376 ? 2 : n >= 25344 ? 1 : 0;
    const int step = 1 << r.shift;
    auto sampled = [&](int x, int y) { return x % step == 0 && y % step == 0; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (sampled(x, y)) {
                const int v = plane[y * w + x];
                r.histogram[v]++;
                r.sum += v;
                r.logSum += referenceLog(v);
            }
    r.count = n / (step * step);
    r.mean = r.sum / r.count;
    r.logAverage = static_cast<float>(std::exp(r.logSum / (r.count * 1000.0)));
    float dark = 0;
    for (int v = 0; v < 100; ++v) dark += r.histogram[v];
    r.darkFraction = dark / r.count;
    float squares = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (sampled(x, y)) {
                const float d = static_cast<float>(plane[y * w + x]) - r.mean;
                squares += d * d;
            }
    r.deviation = std::sqrt(squares / r.count);
    const float c = static_cast<float>(r.count);
    r.p5 = lastBelow(r.histogram, 0.05f * c, 0);
    r.median = lastBelow(r.histogram, 0.5f * c, 120);
    r.p95 = lastBelow(r.histogram, 0.95f * c, 255);
    return r;
}

void expectMatches(const MetaDataFrameStats& s, const ReferenceStats& r) {
    EXPECT_EQ(s.metadataKind, 1);
    EXPECT_EQ(s.horizontalStepShift, r.shift);
    EXPECT_EQ(s.verticalStepShift, r.shift);
    EXPECT_EQ(s.sampleCount, r.count);
    EXPECT_EQ(s.sum, r.sum);
    EXPECT_EQ(s.mean, r.mean);
    EXPECT_EQ(s.logSum, r.logSum);
    EXPECT_FLOAT_EQ(s.logAverage, r.logAverage);
    EXPECT_FLOAT_EQ(s.darkFraction, r.darkFraction);
    EXPECT_FLOAT_EQ(s.standardDeviation, r.deviation);
    EXPECT_EQ(s.percentile5, r.p5);
    EXPECT_EQ(s.median, r.median);
    EXPECT_EQ(s.percentile95, r.p95);
    EXPECT_EQ(0, std::memcmp(s.histogram, r.histogram, sizeof r.histogram));
}

std::vector<uint8_t> randomPlane(int w, int h, unsigned seed, int lo = 0, int hi = 255) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(lo, hi);
    std::vector<uint8_t> plane(static_cast<size_t>(w) * h);
    for (auto& v : plane) v = static_cast<uint8_t>(dist(gen));
    return plane;
}

int run(BrightnessDetectImpl& d, const std::vector<uint8_t>& plane, int w, int h) {
    return d.detect(1, w, h, plane.data(), static_cast<int>(plane.size()));
}

class BrightnessDetect : public ::testing::Test {
protected:
    void SetUp() override { detector.setEnabled(true); }
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

TEST(BrightnessDetectorIdentity, IsKindOneFrameBrightnessStartingDisabledWithAFreshRecord) {
    BrightnessDetectImpl d;
    EXPECT_EQ(d.kind(), 1);
    EXPECT_EQ(d.name(), "frame_brightness");
    EXPECT_FALSE(d.enabled());
    ASSERT_TRUE(d.metadata());
    EXPECT_EQ(d.metadata(), d.stats());
    EXPECT_EQ(d.stats()->metadataKind, 1);
    EXPECT_EQ(d.stats()->percentile95, 255);
    EXPECT_EQ(d.stats()->median, 0);
    EXPECT_EQ(d.stats()->sampleCount, 0u);
}

TEST_F(BrightnessDetect, ConstantMidGreyPlaneGivesDegenerateStatistics) {
    std::vector<uint8_t> plane(640 * 480, 50);
    ASSERT_EQ(run(detector, plane, 640, 480), 0);
    EXPECT_EQ(stats().horizontalStepShift, 3);
    EXPECT_EQ(stats().sampleCount, 4800u);
    EXPECT_EQ(stats().mean, 50u);
    EXPECT_EQ(stats().histogram[50], 4800u);
    EXPECT_FLOAT_EQ(stats().darkFraction, 1.0f);
    EXPECT_FLOAT_EQ(stats().standardDeviation, 0.0f);
    EXPECT_EQ(stats().median, 49);
    EXPECT_EQ(stats().percentile5, 49);
    EXPECT_EQ(stats().percentile95, 49);
    EXPECT_EQ(stats().logSum, 4800 * -1624);
    EXPECT_NEAR(stats().logAverage, 0.197, 0.001);
}

TEST_F(BrightnessDetect, BlackPlaneStopsThePercentileWalkAtZero) {
    std::vector<uint8_t> plane(640 * 480, 0);
    ASSERT_EQ(run(detector, plane, 640, 480), 0);
    EXPECT_EQ(stats().mean, 0u);
    EXPECT_FLOAT_EQ(stats().darkFraction, 1.0f);
    EXPECT_EQ(stats().median, 120);
    EXPECT_EQ(stats().percentile5, 0);
    EXPECT_EQ(stats().percentile95, 255);
    EXPECT_NEAR(stats().logAverage, 0.001, 1e-6);
}

TEST_F(BrightnessDetect, WhitePlaneHasNoDarkSamplesAndLogAverageAboveOne) {
    std::vector<uint8_t> plane(100 * 100, 255);
    ASSERT_EQ(run(detector, plane, 100, 100), 0);
    EXPECT_EQ(stats().horizontalStepShift, 0);
    EXPECT_EQ(stats().sampleCount, 10000u);
    EXPECT_FLOAT_EQ(stats().darkFraction, 0.0f);
    EXPECT_EQ(stats().percentile95, 254);
    EXPECT_FLOAT_EQ(stats().logAverage, static_cast<float>(std::exp(0.001)));
}

struct SizeCase {
    int width, height, shift;
    uint32_t count;
};

class BrightnessSampling : public ::testing::TestWithParam<SizeCase> {};

// Random planes at and around each step boundary, against the reference.
TEST_P(BrightnessSampling, StepAndStatisticsFollowThePixelCount) {
    const SizeCase c = GetParam();
    BrightnessDetectImpl d;
    d.setEnabled(true);
    const auto plane = randomPlane(c.width, c.height, c.width * 1000u + c.height);
    ASSERT_EQ(run(d, plane, c.width, c.height), 0);
    EXPECT_EQ(d.stats()->horizontalStepShift, c.shift);
    EXPECT_EQ(d.stats()->sampleCount, c.count);
    expectMatches(*d.stats(), reference(plane, c.width, c.height));
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, BrightnessSampling,
    ::testing::Values(SizeCase{175, 144, 0, 25200}, SizeCase{176, 144, 1, 6336},
                      SizeCase{351, 288, 1, 25272}, SizeCase{352, 288, 2, 6336},
                      SizeCase{639, 480, 2, 19170}, SizeCase{640, 480, 3, 4800},
                      // 81 columns sampled per row, yet the count is 308160 / 64.
                      SizeCase{642, 480, 3, 4815}, SizeCase{1281, 719, 3, 14391},
                      SizeCase{1, 1, 0, 1}, SizeCase{7, 3, 0, 21}),
    [](const ::testing::TestParamInfo<SizeCase>& info) {
        return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
    });

TEST_F(BrightnessDetect, DarkSkewedRandomPlaneMatchesReference) {
    const auto plane = randomPlane(333, 211, 7, 0, 120);
    ASSERT_EQ(run(detector, plane, 333, 211), 0);
    expectMatches(stats(), reference(plane, 333, 211));
    EXPECT_GT(stats().darkFraction, 0.7f);
}

TEST_F(BrightnessDetect, DisabledDetectorRefusesAndKeepsThePreviousRecord) {
    const auto first = randomPlane(320, 240, 1);
    ASSERT_EQ(run(detector, first, 320, 240), 0);
    const MetaDataFrameStats before = stats();

    detector.setEnabled(false);
    std::vector<uint8_t> other(320 * 240, 200);
    EXPECT_EQ(run(detector, other, 320, 240), -4);
    EXPECT_EQ(0, std::memcmp(&before.histogram, &stats().histogram, sizeof before.histogram));
    EXPECT_EQ(stats().mean, before.mean);
    EXPECT_EQ(stats().median, before.median);
    EXPECT_FLOAT_EQ(stats().standardDeviation, before.standardDeviation);
}

TEST_F(BrightnessDetect, InvalidArgumentsRefuseAndKeepThePreviousRecord) {
    const auto plane = randomPlane(64, 64, 3);
    ASSERT_EQ(run(detector, plane, 64, 64), 0);
    const uint32_t sum = stats().sum;
    const int size = static_cast<int>(plane.size());
    EXPECT_EQ(detector.detect(1, 64, 64, nullptr, size), -6);
    EXPECT_EQ(detector.detect(2, 64, 64, plane.data(), size), -6);
    EXPECT_EQ(detector.detect(0, 64, 64, plane.data(), size), -6);
    EXPECT_EQ(detector.detect(1, 0, 64, plane.data(), size), -6);
    EXPECT_EQ(detector.detect(1, 64, -1, plane.data(), size), -6);
    EXPECT_EQ(detector.detect(1, 64, 64, plane.data(), 0), -6);
    EXPECT_EQ(stats().sum, sum);
}

// Heap buffers of the exact size, so that a read past them trips ASan.
TEST_F(BrightnessDetect, ReadsNoFurtherThanTheLastSampledByte) {
    // 640x480 samples rows 0..472 and columns 0..632 in steps of 8.
    const int last = 472 * 640 + 632;
    std::vector<uint8_t> exact(last + 1, 80);
    EXPECT_EQ(detector.detect(1, 640, 480, exact.data(), last + 1), 0);
    EXPECT_EQ(stats().mean, 80u);

    std::vector<uint8_t> shortBuffer(last, 30);
    EXPECT_EQ(detector.detect(1, 640, 480, shortBuffer.data(), last), -6);
    EXPECT_EQ(stats().mean, 80u);

    std::vector<uint8_t> tiny(16, 30);
    EXPECT_EQ(detector.detect(1, 100, 100, tiny.data(), 16), -6);
}

TEST_F(BrightnessDetect, HugeDimensionsAreRefusedWithoutOverflow) {
    std::vector<uint8_t> plane(1024, 10);
    EXPECT_EQ(detector.detect(1, 1 << 30, 1 << 30, plane.data(), 1024), -6);
    EXPECT_EQ(detector.detect(1, 1 << 30, 1, plane.data(), 1024), -6);
}

TEST_F(BrightnessDetect, RecordIsRefilledInPlaceForEveryHolder) {
    const std::shared_ptr<IMetaDataInfo> held = detector.metadata();
    std::vector<uint8_t> dark(64 * 64, 10), bright(64 * 64, 240);
    ASSERT_EQ(run(detector, dark, 64, 64), 0);
    ASSERT_EQ(run(detector, bright, 64, 64), 0);
    EXPECT_EQ(detector.metadata(), held);
    EXPECT_EQ(static_cast<MetaDataFrameStats&>(*held).mean, 240u);
    EXPECT_EQ(static_cast<MetaDataFrameStats&>(*held).histogram[10], 0u);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
