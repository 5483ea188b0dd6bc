// Parameter documents: JSON types and ranges, messages, storage and replay.
#include <gtest/gtest.h>

#include <vector>

#include "engine/video_process_engine_impl.h"
#include "recording_observer.h"

namespace kelvo {
namespace video {
namespace {

class ParameterDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.setObserver(&observer);
        ASSERT_EQ(engine.init(R"({"backend":"cpu","threads":1})"), 0);
    }
    void TearDown() override { engine.release(); }

    RecordingObserver observer;
    VideoProcessEngineImpl engine{false};
};

TEST_F(ParameterDocumentTest, EnableMustBeTheInteger0Or1) {
    EXPECT_EQ(engine.setParameter("beauty_effect_option", R"({"enable":true})"), 0);
    EXPECT_FALSE(engine.beautyEnabled());
    EXPECT_EQ(engine.setParameter("beauty_effect_option", R"({"enable":1.0})"), 0);
    EXPECT_FALSE(engine.beautyEnabled());
    EXPECT_EQ(engine.setParameter("beauty_effect_option", R"({"enable":2})"), 0);
    EXPECT_FALSE(engine.beautyEnabled());

    EXPECT_EQ(engine.setParameter("beauty_effect_option", R"({"enable":1})"), 0);
    EXPECT_TRUE(engine.beautyEnabled());
    EXPECT_EQ(engine.setParameter("beauty_effect_option", R"({"enable":1})"), 0);
    // The change is logged once, not on every identical document.
    EXPECT_EQ(observer.count(kLogInfo, "setBeautyEnable :1"), 1);

    EXPECT_EQ(engine.setParameter("beauty_effect_option", R"({"enable":0})"), 0);
    EXPECT_FALSE(engine.beautyEnabled());
    EXPECT_EQ(observer.count(kLogInfo, "setBeautyEnable :0"), 1);
}

TEST_F(ParameterDocumentTest, EveryGroupHasItsEnableStateAndMessage) {
    struct Row {
        const char* key;
        const char* message;
        bool (VideoProcessEngineImpl::*state)() const;
    } rows[] = {
        {"beauty_effect_option", "setBeautyEnable :1", &VideoProcessEngineImpl::beautyEnabled},
        {"color_enhance_option", "setColorEnhanceEnable :1",
         &VideoProcessEngineImpl::colorEnhanceEnabled},
        {"video_denoiser_option", "setVideoDenoiserEnable :1",
         &VideoProcessEngineImpl::videoDenoiserEnabled},
        {"lowlight_enhance_option", "setLowlightEnhanceEnable :1",
         &VideoProcessEngineImpl::lowlightEnhanceEnabled},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(engine.setParameter(row.key, R"({"enable":1})"), 0) << row.key;
        EXPECT_TRUE((engine.*row.state)()) << row.key;
        EXPECT_EQ(observer.count(kLogInfo, row.message), 1) << row.key;
    }
}

TEST_F(ParameterDocumentTest, EachSetterTraceIsLoggedAtDetailLevel) {
    engine.setParameter("environment", R"({"noise_level":1})");
    EXPECT_EQ(observer.count(kLogDetail, R"(key :environment param: {"noise_level":1})"), 1);
}

TEST_F(ParameterDocumentTest, DenoiserModeAndLevelAcceptAnyNonNegativeInteger) {
    EXPECT_EQ(engine.setParameter("video_denoiser_option", R"({"mode":5,"level":3})"), 0);
    EXPECT_EQ(engine.videoDenoiserMode(), 5);
    EXPECT_EQ(engine.videoDenoiserLevel(), 3);
    EXPECT_EQ(observer.count(kLogInfo, "setVideoDenoiserMode :5"), 1);
    EXPECT_EQ(observer.count(kLogInfo, "setVideoDenoiserLevel :3"), 1);

    EXPECT_EQ(engine.setParameter("video_denoiser_option", R"({"mode":-1,"level":1.0})"), 0);
    EXPECT_EQ(engine.videoDenoiserMode(), 5);
    EXPECT_EQ(engine.videoDenoiserLevel(), 3);
}

TEST_F(ParameterDocumentTest, LowlightModeAndLevelAreOnly0Or1) {
    EXPECT_EQ(engine.setParameter("lowlight_enhance_option", R"({"mode":2,"level":2})"), 0);
    EXPECT_EQ(engine.lowlightEnhanceMode(), 0);
    EXPECT_EQ(engine.lowlightEnhanceLevel(), 0);
    EXPECT_EQ(engine.setParameter("lowlight_enhance_option", R"({"mode":1,"level":1})"), 0);
    EXPECT_EQ(engine.lowlightEnhanceMode(), 1);
    EXPECT_EQ(engine.lowlightEnhanceLevel(), 1);
    EXPECT_EQ(observer.count(kLogInfo, "setLowlightEnhanceMode :1"), 1);
    EXPECT_EQ(observer.count(kLogInfo, "setLowlightEnhanceLevel :1"), 1);
}

TEST_F(ParameterDocumentTest, RejectedMembersDoNotStopTheOthers) {
    EXPECT_EQ(engine.setParameter("lowlight_enhance_option", R"({"mode":7,"enable":1,"level":1})"),
              0);
    EXPECT_TRUE(engine.lowlightEnhanceEnabled());
    EXPECT_EQ(engine.lowlightEnhanceMode(), 0);
    EXPECT_EQ(engine.lowlightEnhanceLevel(), 1);
}

TEST_F(ParameterDocumentTest, FirstOfDuplicateMembersCounts) {
    EXPECT_EQ(engine.setParameter("color_enhance_option", R"({"enable":1,"enable":0})"), 0);
    EXPECT_TRUE(engine.colorEnhanceEnabled());
}

TEST_F(ParameterDocumentTest, InvalidJsonIsReportedAndRemembersNothing) {
    const char* invalid[] = {"", "{", "{}x", "{'enable':1}", "[1,]", "{\"enable\":01}"};
    for (const char* text : invalid) {
        EXPECT_EQ(engine.setParameter("beauty_effect_option", text), -7) << text;
    }
    EXPECT_EQ(observer.count(kLogError, "setParameter failed, invalid json string"), 6);
    EXPECT_EQ(engine.setParameter("beauty_effect_option", "  {\"enable\":1}\n "), 0);
    EXPECT_TRUE(engine.beautyEnabled());
}

TEST_F(ParameterDocumentTest, DocumentsThatAreNotObjectsChangeNothing) {
    for (const char* text : {"5", "[1,2]", "\"enable\"", "null", "true"}) {
        EXPECT_EQ(engine.setParameter("beauty_effect_option", text), 0) << text;
    }
    EXPECT_FALSE(engine.beautyEnabled());
}

TEST_F(ParameterDocumentTest, UnknownKeysAreAcceptedAndChangeNothing) {
    EXPECT_EQ(engine.setParameter("Beauty_Effect_Option", R"({"enable":1})"), 0);
    EXPECT_FALSE(engine.beautyEnabled());
}

TEST(ParameterDocumentBeforeInit, AnswersNotInitialisedAndTakesEffectAtInit) {
    RecordingObserver observer;
    VideoProcessEngineImpl engine(false);
    engine.setObserver(&observer);
    EXPECT_EQ(engine.setParameter("video_denoiser_option", R"({"enable":1,"mode":2})"), -3);
    EXPECT_EQ(engine.setParameter("video_denoiser_option", R"({"level":1})"), -3);
    EXPECT_FALSE(engine.videoDenoiserEnabled());
    ASSERT_EQ(engine.init(R"({"backend":"cpu","threads":1})"), 0);
    EXPECT_TRUE(engine.videoDenoiserEnabled());
    EXPECT_EQ(engine.videoDenoiserMode(), 2);
    EXPECT_EQ(engine.videoDenoiserLevel(), 1);
    EXPECT_EQ(observer.count(kLogInfo, "setVideoDenoiserEnable :1"), 1);
    engine.release();
}

}  // namespace
}  // namespace video
}  // namespace kelvo
