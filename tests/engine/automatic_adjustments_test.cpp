// The dark-scene hysteresis and the noisy verdict, driven by hand-made
// statistics records and a stepped clock.
#include <gtest/gtest.h>

#include <memory>

#include "detect/metadata_frame_stats.h"
#include "engine/video_process_engine_impl.h"
#include "frame/i420_video_frame.h"
#include "system/clock.h"

namespace kelvo {
namespace video {
namespace {

int64_t gNowMs = 0;
int64_t steppedClock() { return gNowMs; }

std::shared_ptr<I420VideoFrame> frameWithStats(uint32_t mean, float darkFraction) {
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
    frame->allocateI420(16, 16, 16, 8, 8);
    auto stats = std::make_shared<MetaDataFrameStats>();
    stats->mean = mean;
    stats->darkFraction = darkFraction;
    frame->setMetadata(kMetadataKindFrameStats, stats);
    return frame;
}

class DarkSceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        gNowMs = 1000000;
        setWallClockForTesting(&steppedClock);
    }
    void TearDown() override { setWallClockForTesting(nullptr); }

    // Feeds `n` frames 33 ms apart; returns the last verdict.
    bool feed(int n, bool dark) {
        bool verdict = false;
        for (int i = 0; i < n; ++i) {
            gNowMs += 33;
            verdict = engine.decideDarkScene(dark ? darkFrame : brightFrame);
        }
        return verdict;
    }

    VideoProcessEngineImpl engine{false};
    std::shared_ptr<I420VideoFrame> darkFrame = frameWithStats(40, 0.9f);
    std::shared_ptr<I420VideoFrame> brightFrame = frameWithStats(150, 0.1f);
};

TEST_F(DarkSceneTest, FifteenConsecutiveDarkFramesDeclareADarkScene) {
    EXPECT_FALSE(feed(14, true));
    EXPECT_TRUE(feed(1, true));
}

TEST_F(DarkSceneTest, ABrightFrameRestartsTheCount) {
    feed(14, true);
    feed(1, false);
    EXPECT_FALSE(feed(14, true));
}

TEST_F(DarkSceneTest, HeldForTenSecondsAndFiftyBrightFrames) {
    ASSERT_TRUE(feed(15, true));
    // 50 bright frames, but far less than 10 s: still held.
    EXPECT_TRUE(feed(60, false));
    // Time passes without frames; the next bright frame ends the hold.
    gNowMs += 10000;
    EXPECT_FALSE(feed(1, false));
}

TEST_F(DarkSceneTest, TimeAloneDoesNotEndTheHold) {
    ASSERT_TRUE(feed(15, true));
    gNowMs += 20000;
    EXPECT_TRUE(feed(49, false));  // only 49 bright frames counted before this check
    EXPECT_TRUE(feed(1, false));
    EXPECT_FALSE(feed(1, false));
}

TEST_F(DarkSceneTest, ADarkFrameInTheHoldRestartsBothCounts) {
    ASSERT_TRUE(feed(15, true));
    feed(49, false);
    gNowMs += 9000;
    feed(1, true);
    gNowMs += 9000;
    EXPECT_TRUE(feed(49, false));  // time restarted at the dark frame
    gNowMs += 2000;
    EXPECT_TRUE(feed(1, false));  // 10 s now, but only 49 bright frames before
    EXPECT_FALSE(feed(1, false));
}

TEST_F(DarkSceneTest, BrightMeansMeanAbove120AndDarkShareBelow035) {
    struct Row {
        uint32_t mean;
        float darkShare;
        bool countsDark;
    } rows[] = {
        {121, 0.36f, true},  // too many dark samples
        {120, 0.0f, true},   // the mean must exceed 120
        {121, 0.34f, false},
    };
    for (const Row& row : rows) {
        VideoProcessEngineImpl fresh(false);
        auto frame = frameWithStats(row.mean, row.darkShare);
        bool verdict = false;
        for (int i = 0; i < 15; ++i) verdict = fresh.decideDarkScene(frame);
        EXPECT_EQ(verdict, row.countsDark) << row.mean << " " << row.darkShare;
    }
}

TEST_F(DarkSceneTest, FramesWithoutStatisticsChangeNothing) {
    feed(14, true);
    std::shared_ptr<I420VideoFrame> bare(new I420VideoFrame(), I420VideoFrame::deleter());
    bare->allocateI420(16, 16, 16, 8, 8);
    EXPECT_FALSE(engine.decideDarkScene(bare));
    EXPECT_FALSE(engine.decideDarkScene(nullptr));
    EXPECT_TRUE(feed(1, true));  // still the 15th dark frame in a row
}

TEST(AutomaticAdjustments, RefuseMissingFramesAndMissingRenderEngine) {
    VideoProcessEngineImpl engine(false);
    EXPECT_EQ(engine.applyAutomaticAdjustments(nullptr), -6);
    std::shared_ptr<I420VideoFrame> empty(new I420VideoFrame(), I420VideoFrame::deleter());
    EXPECT_EQ(engine.applyAutomaticAdjustments(empty), -6);
    EXPECT_EQ(engine.applyAutomaticAdjustments(frameWithStats(10, 1.0f)), -1);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
