// The automatic modes as a unit: the dark-scene hysteresis over hand-made
// statistics and frame times, the noisy verdict, and what each combination
// of settings writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "detect/metadata_frame_stats.h"
#include "engine/automatic_adjustments.h"
#include "frame/i420_video_frame.h"

namespace kelvo {
namespace video {
namespace {

struct Stats {
    uint32_t mean;
    float darkShare;
    float deviation = 80.0f;
    int median = 150;
    int low = 40;
};

std::shared_ptr<I420VideoFrame> frameWith(const Stats& s) {
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
    frame->allocateI420(16, 16, 16, 8, 8);
    auto stats = std::make_shared<MetaDataFrameStats>();
    stats->mean = s.mean;
    stats->darkFraction = s.darkShare;
    stats->standardDeviation = s.deviation;
    stats->median = s.median;
    stats->percentile5 = s.low;
    frame->setMetadata(kMetadataKindFrameStats, stats);
    return frame;
}

// Every write, as "name value", in order.
class RecordingTarget : public AutomaticTarget {
public:
    void setVideoDenoiserMode(int v) override { add("denoiserMode", v); }
    void setVideoDenoiserLevel(int v) override { add("denoiserLevel", v); }
    void setVideoDenoiserEnable(bool v) override { add("denoiserEnable", v); }
    void setVideoDenoiserAutoNoisy(bool v) override { add("noisy", v); }
    void setLowlightDarkScene(bool v) override { add("darkScene", v); }
    void setBeautyEnable(bool v) override { add("beautyEnable", v); }
    void setBeautySmoothness(float v) override { add("smoothness", v); }
    void setBeautyLightness(float v) override { add("lightness", v); }
    void setBeautyRedness(float v) override { add("redness", v); }
    void setBeautyContrast(int v) override { add("contrast", v); }
    void setBeautySharpness(float v) override { add("sharpness", v); }

    std::vector<std::string> calls;

private:
    void add(const char* name, double v) {
        char text[64];
        std::snprintf(text, sizeof text, "%s %g", name, v);
        calls.push_back(text);
    }
};

class DarkSceneTest : public ::testing::Test {
protected:
    // Feeds `n` frames 33 ms apart; returns the last verdict.
    bool feed(int n, bool dark) {
        bool verdict = false;
        for (int i = 0; i < n; ++i) {
            nowMs += 33;
            verdict = unit.decideDarkScene(dark ? darkFrame.get() : brightFrame.get(), nowMs);
        }
        return verdict;
    }

    AutomaticAdjustments unit;
    int64_t nowMs = 1000000;
    std::shared_ptr<I420VideoFrame> darkFrame = frameWith({40, 0.9f});
    std::shared_ptr<I420VideoFrame> brightFrame = frameWith({150, 0.1f});
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
    nowMs += 10000;
    EXPECT_FALSE(feed(1, false));
}

TEST_F(DarkSceneTest, TimeAloneDoesNotEndTheHold) {
    ASSERT_TRUE(feed(15, true));
    nowMs += 20000;
    EXPECT_TRUE(feed(49, false));  // only 49 bright frames counted before this check
    EXPECT_TRUE(feed(1, false));
    EXPECT_FALSE(feed(1, false));
}

TEST_F(DarkSceneTest, ADarkFrameInTheHoldRestartsBothCounts) {
    ASSERT_TRUE(feed(15, true));
    feed(49, false);
    nowMs += 9000;
    feed(1, true);
    nowMs += 9000;
    EXPECT_TRUE(feed(49, false));  // time restarted at the dark frame
    nowMs += 2000;
    EXPECT_TRUE(feed(1, false));  // 10 s now, but only 49 bright frames before
    EXPECT_FALSE(feed(1, false));
}

// A stream whose times restart (a new file, a seek back) must not end the
// hold early nor stretch it: the step back counts as no time.
TEST_F(DarkSceneTest, ATimeGoingBackwardsCountsAsNoTimePassed) {
    ASSERT_TRUE(feed(15, true));
    nowMs -= 60000;
    EXPECT_TRUE(feed(60, false));  // 60 bright frames, 2 s of forward steps
    nowMs += 7900;
    EXPECT_TRUE(feed(1, false));  // 9.9 s since the last dark frame
    nowMs += 100;
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
        AutomaticAdjustments fresh;
        auto frame = frameWith({row.mean, row.darkShare});
        bool verdict = false;
        for (int i = 0; i < 15; ++i) verdict = fresh.decideDarkScene(frame.get(), i * 33);
        EXPECT_EQ(verdict, row.countsDark) << row.mean << " " << row.darkShare;
    }
}

TEST_F(DarkSceneTest, FramesWithoutStatisticsChangeNothing) {
    feed(14, true);
    std::shared_ptr<I420VideoFrame> bare(new I420VideoFrame(), I420VideoFrame::deleter());
    bare->allocateI420(16, 16, 16, 8, 8);
    EXPECT_FALSE(unit.decideDarkScene(bare.get(), nowMs));
    EXPECT_FALSE(unit.decideDarkScene(nullptr, nowMs));
    EXPECT_TRUE(feed(1, true));  // still the 15th dark frame in a row
}

TEST(AutomaticAdjustments, NoisyVerdict) {
    struct Row {
        Stats stats;
        bool noisy;
    } rows[] = {
        {{150, 0.0f, 80.0f, 150, 40}, false},
        {{150, 0.0f, 65.0f, 150, 40}, true},   // deviation must exceed 65
        {{150, 0.01f, 80.0f, 150, 40}, true},  // any dark sample
        {{140, 0.0f, 80.0f, 140, 35}, true},   // dim and a dark low end
        {{140, 0.0f, 80.0f, 140, 36}, false},
        {{141, 0.0f, 80.0f, 140, 35}, false},
    };
    AutomaticSettings s;
    s.denoiserSelected = s.videoDenoiserEnabled = true;
    for (const Row& row : rows) {
        AutomaticAdjustments unit;
        RecordingTarget target;
        ASSERT_EQ(unit.apply(frameWith(row.stats).get(), 0, s, target), 0);
        EXPECT_EQ(target.calls, std::vector<std::string>{row.noisy ? "noisy 1" : "noisy 0"})
            << row.stats.deviation << " " << row.stats.low;
        EXPECT_EQ(unit.lastNoisy(), row.noisy ? 1 : 0);
    }
}

TEST(AutomaticAdjustments, WritesOfEachSetting) {
    using Calls = std::vector<std::string>;
    const Calls smoother = {"beautyEnable 1", "smoothness 0.7", "lightness 0",
                            "redness 0",      "contrast 1",     "sharpness 0.1"};
    auto plus = [](Calls a, const Calls& b) { return a.insert(a.end(), b.begin(), b.end()), a; };
    struct Row {
        const char* what;
        AutomaticSettings s;
        Calls calls;
    } rows[] = {
        {"nothing selected", {false, false, true, true, true, 0, 1, 0, 0}, {}},
        {"automatic low light at level 0 couples the denoiser to the dark scene",
         {true, true, false, false, true, 0, 0, 0, 0},
         {"denoiserMode 1", "darkScene 0", "denoiserEnable 0", "denoiserMode 1",
          "denoiserLevel 0"}},
        {"manual low light at level 0 enables the denoiser",
         {true, true, false, false, true, 0, 0, 1, 0},
         {"denoiserEnable 1", "denoiserMode 1", "denoiserLevel 0"}},
        {"automatic low light at level 1",
         {true, true, false, false, true, 0, 0, 0, 1},
         {"denoiserMode 1", "darkScene 0"}},
        {"manual low light at level 1 writes nothing",
         {true, true, false, true, true, 0, 1, 1, 1},
         {}},
        {"low light disabled", {true, false, false, false, false, 0, 0, 0, 0}, {}},
        {"automatic denoiser", {false, true, false, true, false, 0, 0, 0, 0}, {"noisy 0"}},
        {"manual denoiser at level 1 makes beauty a smoother",
         {false, true, false, true, false, 1, 1, 0, 0},
         smoother},
        {"automatic denoiser at level 1",
         {false, true, false, true, false, 0, 1, 0, 0},
         plus({"noisy 0"}, smoother)},
        {"beauty enabled by the caller keeps its settings",
         {false, true, true, true, false, 1, 1, 0, 0},
         {}},
        {"denoiser disabled", {false, true, false, false, false, 0, 1, 0, 0}, {}},
        {"the denoiser waits while low light is enabled",
         {false, true, false, true, true, 0, 1, 0, 0},
         {}},
    };
    for (const Row& row : rows) {
        AutomaticAdjustments unit;
        RecordingTarget target;
        EXPECT_EQ(unit.apply(frameWith({150, 0.0f}).get(), 0, row.s, target), 0);
        EXPECT_EQ(target.calls, row.calls) << row.what;
    }
}

TEST(AutomaticAdjustments, DenoiserFollowsTheDarkSceneFrameByFrame) {
    AutomaticSettings s;
    s.lowlightSelected = s.denoiserSelected = s.lowlightEnhanceEnabled = true;
    AutomaticAdjustments unit;
    auto dark = frameWith({40, 0.9f});
    for (int i = 1; i <= 15; ++i) {
        RecordingTarget target;
        ASSERT_EQ(unit.apply(dark.get(), i * 33, s, target), 0);
        const std::string verdict = i == 15 ? "1" : "0";
        EXPECT_EQ(target.calls[1], "darkScene " + verdict) << i;
        EXPECT_EQ(target.calls[2], "denoiserEnable " + verdict) << i;
        EXPECT_EQ(unit.lastDarkScene(), i == 15 ? 1 : 0);
    }
    // No statistics: low light is told the scene is not dark, while the
    // denoiser still follows the held verdict.
    std::shared_ptr<I420VideoFrame> bare(new I420VideoFrame(), I420VideoFrame::deleter());
    bare->allocateI420(16, 16, 16, 8, 8);
    RecordingTarget target;
    ASSERT_EQ(unit.apply(bare.get(), 16 * 33, s, target), 0);
    EXPECT_EQ(target.calls[1], "darkScene 0");
    EXPECT_EQ(target.calls[2], "denoiserEnable 1");
    EXPECT_EQ(unit.lastDarkScene(), 1);
}

TEST(AutomaticAdjustments, MissingOrEmptyFramesAreRefusedAndChangeNothing) {
    AutomaticSettings s;
    s.lowlightSelected = s.denoiserSelected = s.lowlightEnhanceEnabled = true;
    AutomaticAdjustments unit;
    RecordingTarget target;
    EXPECT_EQ(unit.apply(nullptr, 0, s, target), -6);
    std::shared_ptr<I420VideoFrame> empty(new I420VideoFrame(), I420VideoFrame::deleter());
    EXPECT_EQ(unit.apply(empty.get(), 0, s, target), -6);
    EXPECT_TRUE(target.calls.empty());
    EXPECT_EQ(unit.lastDarkScene(), -1);
    EXPECT_EQ(unit.lastNoisy(), -1);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
