#include "denoise/noise_estimator.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace video {
namespace {

// Mid-grey centre: lumaSum >> 6 = 128 and lumaSum >> 10 = 8.
constexpr uint32_t kGreyLumaSum = 128 * 64;

// Offers block 0 often enough that its run reaches 6 and it counts as noise.
void addSettledBlock(NoiseEstimator& e, uint32_t variance, uint32_t lumaSum = kGreyLumaSum) {
    for (int i = 0; i < 6; ++i) e.addBlock(0, variance, lumaSum);
}

TEST(NoiseEstimator, FirstMeanBecomesTheLevelThenIsSmoothed) {
    NoiseEstimator e;
    e.init(16, 16);
    addSettledBlock(e, 640);  // 640 / 8 = 80
    EXPECT_TRUE(e.updateNoiseLevel());
    EXPECT_DOUBLE_EQ(e.noiseLevel(), 80.0);

    e.addBlock(0, 320, kGreyLumaSum);  // run 7: mean 40
    EXPECT_TRUE(e.updateNoiseLevel());
    EXPECT_DOUBLE_EQ(e.noiseLevel(), 77.5);  // (40 + 15 * 80) / 16
}

TEST(NoiseEstimator, FrameWithoutStaticBlocksResetsTheLevel) {
    NoiseEstimator e;
    e.init(16, 16);
    addSettledBlock(e, 640);
    ASSERT_TRUE(e.updateNoiseLevel());
    EXPECT_FALSE(e.updateNoiseLevel());
    EXPECT_EQ(e.noiseLevel(), 0.0);
}

TEST(NoiseEstimator, LevelMustExceedSeventyToCountAsNoisy) {
    NoiseEstimator e;
    e.init(16, 16);
    addSettledBlock(e, 70 * 8);
    EXPECT_FALSE(e.updateNoiseLevel());
    EXPECT_DOUBLE_EQ(e.noiseLevel(), 70.0);
}

TEST(NoiseEstimator, OnlySettledMidToneBlocksContributeNoise) {
    struct Row {
        const char* name;
        int offers;
        uint32_t lumaSum;
        bool contributes;
    };
    const Row rows[] = {
        {"run of five", 5, kGreyLumaSum, false},
        {"run of six", 6, kGreyLumaSum, true},
        {"dark, mean 20", 6, 20 * 64 + 63, false},
        {"darkest accepted, mean 21", 6, 21 * 64, true},
        {"brightest accepted, mean 219", 6, 219 * 64 + 63, true},
        {"bright, mean 220", 6, 220 * 64, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        NoiseEstimator e;
        e.init(16, 16);
        for (int i = 0; i < row.offers; ++i) e.addBlock(0, 100000, row.lumaSum);
        EXPECT_EQ(e.lowVarRun(0), static_cast<uint32_t>(row.offers));
        // A contributing block hits the cap of 300; a counted-only one leaves
        // no noisy block, which resets the level.
        e.updateNoiseLevel();
        EXPECT_EQ(e.noiseLevel(), row.contributes ? 300.0 : 0.0);
    }
}

TEST(NoiseEstimator, NeedsHalfOfTheSampledBlocksStatic) {
    // 41 x 20 blocks, 20 of them sampled: at least 10 must be offered.
    for (int offered : {9, 10}) {
        SCOPED_TRACE(offered);
        NoiseEstimator e;
        e.init(41 * 16, 20 * 16);
        for (int i = 0; i < 6; ++i) e.addBlock(0, 8 * 90, kGreyLumaSum);
        for (int b = 1; b <= offered - 6; ++b) e.addBlock(b * 41, 0, kGreyLumaSum);
        EXPECT_EQ(e.updateNoiseLevel(), offered >= 10);
        EXPECT_EQ(e.noiseLevel(), offered >= 10 ? 90.0 : 0.0);
    }
}

TEST(NoiseEstimator, MovingBlockRestartsItsRun) {
    NoiseEstimator e;
    e.init(32, 16);
    for (int i = 0; i < 5; ++i) e.addBlock(1, 640, kGreyLumaSum);
    e.resetLowVarRun(1);
    EXPECT_EQ(e.lowVarRun(1), 0u);
    e.addBlock(1, 640, kGreyLumaSum);
    EXPECT_FALSE(e.updateNoiseLevel());
    EXPECT_EQ(e.noiseLevel(), 0.0);
}

TEST(NoiseEstimator, SizeChangeRestartsRunsButKeepsTheLevel) {
    NoiseEstimator e;
    e.init(16, 16);
    addSettledBlock(e, 640);
    ASSERT_TRUE(e.updateNoiseLevel());
    e.init(64, 32);
    EXPECT_EQ(e.lowVarRun(0), 0u);
    EXPECT_DOUBLE_EQ(e.noiseLevel(), 80.0);
    // The new size's 8 blocks need one static offer for a verdict.
    addSettledBlock(e, 640);
    EXPECT_TRUE(e.updateNoiseLevel());
    EXPECT_DOUBLE_EQ(e.noiseLevel(), 80.0);
}

TEST(NoiseEstimator, BlockIndexOutsideTheFrameIsIgnored) {
    NoiseEstimator e;
    e.addBlock(0, 640, kGreyLumaSum);  // before any init
    e.init(32, 32);
    e.addBlock(4, 640, kGreyLumaSum);
    e.addBlock(-1, 640, kGreyLumaSum);
    e.resetLowVarRun(4);
    e.resetLowVarRun(-1);
    EXPECT_EQ(e.lowVarRun(4), 0u);
    EXPECT_FALSE(e.updateNoiseLevel());  // nothing was counted as static
}

}  // namespace
}  // namespace video
}  // namespace kelvo
