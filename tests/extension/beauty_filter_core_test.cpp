// The adapter linked in statically, for what needs the library's insides:
// the colour-code tables, the observer forwarding, and the average-time log
// driven by an injected wall clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extension/beauty_filter_core.h"
#include "extension/color_codes.h"
#include "host_test_support.h"
#include "system/clock.h"
#include "gl_driver_pin.h"

namespace kelvo {
namespace video {
namespace {

using rtc_sdk::StandInControl;

TEST(ColorCodes, HostCodesMapToEngineCodes) {
    struct Row {
        int host, engine;
    };
    // Every H.273 matrix code the host defines, and some it does not.
    const Row matrix[] = {{0, 0},   {1, 1},   {2, -1},  {3, 0},  {4, 2},  {5, 3},
                          {6, 4},   {7, 5},   {8, 6},   {9, 7},  {10, 8}, {11, 9},
                          {12, -1}, {13, -1}, {14, -1}, {15, 0}, {-1, 0}, {1000, 0}};
    for (const Row& r : matrix)
        EXPECT_EQ(engineMatrixCode(r.host), r.engine) << "matrix " << r.host;
    const Row range[] = {{0, -1}, {1, 0}, {2, 1}, {3, -1}, {4, 0}, {-1, 0}};
    for (const Row& r : range) EXPECT_EQ(engineRangeCode(r.host), r.engine) << "range " << r.host;
}

// Each read of the clock returns `now` and then moves it on by `step`: a
// frame processed at `now` takes `step` milliseconds.
int64_t gNow = 0;
int64_t gStep = 0;
int64_t fakeClock() {
    const int64_t t = gNow;
    gNow += gStep;
    return t;
}

// The core with a stand-in control object; released at the end.
class FilterCore : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(standInHost(), nullptr);
        control = standInHost()->createControl();
        core = new BeautyFilterCore(control);
        core->addRef();
    }
    void TearDown() override {
        setWallClockForTesting(nullptr);
        if (core) {
            EXPECT_EQ(core->release(), 0);
        }
        EXPECT_TRUE(control->hasOneRef()) << "the core let go of its control";
        control->release();
    }
    std::vector<std::string> linesAt(int level) const {
        std::vector<std::string> lines;
        for (const auto& line : control->logLines())
            if (line.level == level) lines.push_back(line.text);
        return lines;
    }
    std::vector<std::string> averageLines() const {
        std::vector<std::string> lines;
        for (const auto& text : linesAt(kHostLogInfo))
            if (text.rfind("BeautyEngine process avg time:", 0) == 0) lines.push_back(text);
        return lines;
    }

    StandInControl* control = nullptr;
    BeautyFilterCore* core = nullptr;
};

TEST_F(FilterCore, ForwardsEngineMessagesAsTextNeverAsFormat) {
    core->onInitialized(0);
    core->onLog(kLogInfo, "setResourceBundle: /tmp/%n%s%x");
    core->onLog(kLogError, "failed at 100%");
    core->onLog(kLogDetail, "key :a param: b");
    core->onLog(7, "unknown level");
    core->onLog(kLogInfo, nullptr);
    EXPECT_EQ(linesAt(kHostLogInfo), (std::vector<std::string>{"kelvo beauty extension inited",
                                                               "setResourceBundle: /tmp/%n%s%x"}));
    EXPECT_EQ(linesAt(kHostLogError), std::vector<std::string>{"failed at 100%"});
    EXPECT_EQ(control->logLines().size(), 3u) << "detail and unknown levels are dropped";
}

TEST_F(FilterCore, CoreWithoutControlLogsNothingAndKeepsWorking) {
    BeautyFilterCore* alone = new BeautyFilterCore(nullptr);
    alone->addRef();
    alone->onInitialized(0);
    alone->onLog(kLogError, "%n");
    HostFrameData record;
    EXPECT_EQ(alone->process(&record), -3) << "no engine yet";
    EXPECT_EQ(alone->release(), 0);
}

TEST_F(FilterCore, EngineIsCreatedOnceAndFramesNeedIt) {
    HostFrameData record;
    EXPECT_EQ(core->process(&record), -3);
    ASSERT_EQ(core->initEngine(), 0);
    keepGLDriverLoaded();
    EXPECT_EQ(core->initEngine(), -1);
    EXPECT_EQ(core->process(nullptr), -6);
    record.kind = 5;
    EXPECT_EQ(core->process(&record), -1);
    record.kind = kHostFramePixelBuffer;
    EXPECT_EQ(core->process(&record), -4) << "selected, none enabled";

    EXPECT_EQ(core->releaseEngine(), 0);
    EXPECT_EQ(core->process(&record), -3);
    EXPECT_EQ(core->releaseEngine(), 0);
}

// Frames every 10 ms, each taking 7 ms: the first frame opens the window,
// the first frame more than 3000 ms after it closes it and is counted in.
TEST_F(FilterCore, LogsTheAverageOfEachWindowOfMoreThanThreeSeconds) {
    ASSERT_EQ(core->initEngine(), 0);
    keepGLDriverLoaded();
    setWallClockForTesting(&fakeClock);
    const int64_t base = 1700000000000;
    auto frameAt = [&](int64_t start, int64_t duration) {
        gNow = start;
        gStep = duration;
        HostFrameData record;
        core->process(&record);
    };
    frameAt(base, 900);  // opens the window at base + 900, its time is not counted
    const int64_t opened = base + 900;
    for (int i = 1; i <= 300; ++i) frameAt(opened + 10 * i - 7, 7);
    EXPECT_TRUE(averageLines().empty()) << "3000 ms are not more than 3000 ms";
    // The closing frame takes 308 ms: (300 × 7 + 308) / 301 = 8; without it
    // the average would be 7, with the opening frame 10.
    frameAt(opened + 3001 - 308, 308);
    EXPECT_EQ(averageLines(), std::vector<std::string>{"BeautyEngine process avg time:8"});

    // The next window starts empty at the closing frame.
    const int64_t reopened = opened + 3001;
    frameAt(reopened + 2000, 100);
    frameAt(reopened + 3000, 1);
    EXPECT_EQ(averageLines().size(), 2u);
    EXPECT_EQ(averageLines().back(), "BeautyEngine process avg time:50");
}

}  // namespace
}  // namespace video
}  // namespace kelvo
