// Effect selection, chain composition, result codes and the life cycle of
// the engine, observed through its interface and its logs; on the CPU
// backend, and on the GL one for what only it does.
#include <gtest/gtest.h>

#include <vector>

#include "engine/video_process_engine_impl.h"
#include "recording_observer.h"

namespace kelvo {
namespace video {
namespace {

const char kCpuConfig[] = R"({"backend":"cpu","threads":1})";

std::vector<uint8_t> greyI420(int w, int h, uint8_t value = 100) {
    return std::vector<uint8_t>(w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2), value);
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.setObserver(&observer);
        ASSERT_EQ(engine.init(config()), 0);
    }
    void TearDown() override { engine.release(); }
    virtual const char* config() const { return kCpuConfig; }

    // Enables an effect so that frames are processed at all.
    void enableBeauty() {
        ASSERT_EQ(engine.setParameter("beauty_effect_option", R"({"enable":1})"), 0);
    }

    int processGrey(int w = 64, int h = 48, int format = kPixelFormatI420) {
        buffer = greyI420(w, h);
        return engine.processFrame(format, w, h, buffer.data(), static_cast<int>(buffer.size()), -1,
                                   -1, -1, -1);
    }

    RecordingObserver observer;
    VideoProcessEngineImpl engine{false};
    std::vector<uint8_t> buffer;
};

TEST_F(EngineTest, ReportsInitialisationAndTheBackend) {
    EXPECT_EQ(observer.initialized, std::vector<int>{0});
    EXPECT_TRUE(observer.logged("CPU backend, 1 threads"));
    EXPECT_TRUE(engine.inited());
}

TEST_F(EngineTest, LowlightBringsADenoiserInFront) {
    ASSERT_EQ(engine.setVideoEffects({kEffectLowLightEnhance}), 0);
    EXPECT_EQ(engine.effects(), (std::vector<int>{103, 104}));
    EXPECT_EQ(observer.count(kLogInfo, "add kEffectVideoDenoiser for kEffectLowLightEnhance"), 1);

    enableBeauty();
    processGrey();
    EXPECT_EQ(engine.chainTypes(), (std::vector<int>{10, 103, 203, 901}));
    EXPECT_EQ(observer.last("inner effects: "), "inner effects: 10 103 203 901 ");
}

TEST_F(EngineTest, BufferChainOfAllFourEffectsRunsDenoiserOnTheCpuFirst) {
    ASSERT_EQ(engine.setVideoEffects({103, 104, 102, 101}), 0);
    enableBeauty();
    processGrey();
    EXPECT_EQ(engine.chainTypes(), (std::vector<int>{10, 103, 203, 202, 201, 901}));
    EXPECT_FALSE(engine.chainDirty());
}

TEST_F(EngineTest, SelectingTheSameListTwiceGivesTheSameChain) {
    enableBeauty();
    ASSERT_EQ(engine.setVideoEffects({102, 101}), 0);
    processGrey();
    const std::vector<int> once = engine.chainTypes();
    ASSERT_EQ(engine.setVideoEffects({102, 101}), 0);
    ASSERT_EQ(engine.setVideoEffects({102, 101}), 0);
    processGrey();
    EXPECT_EQ(engine.chainTypes(), once);
}

TEST_F(EngineTest, EmptySelectionIsRejectedAndChangesNothing) {
    ASSERT_EQ(engine.setVideoEffects({101}), 0);
    enableBeauty();
    processGrey();
    ASSERT_FALSE(engine.chainDirty());
    EXPECT_EQ(engine.setVideoEffects({}), -6);
    EXPECT_EQ(engine.effects(), std::vector<int>{101});
    EXPECT_FALSE(engine.chainDirty());
}

TEST_F(EngineTest, UnknownFormatFailsAfterTheRebuild) {
    ASSERT_EQ(engine.setVideoEffects({101}), 0);
    enableBeauty();
    EXPECT_EQ(processGrey(64, 48, 9), -6);
    EXPECT_FALSE(engine.chainDirty());
    EXPECT_EQ(observer.processResults.back(), -6);
}

TEST_F(EngineTest, NothingEnabledLeavesBufferUntouched) {
    ASSERT_EQ(engine.setVideoEffects({101}), 0);
    std::vector<uint8_t> frame = greyI420(32, 16, 77);
    const std::vector<uint8_t> before = frame;
    EXPECT_EQ(engine.processFrame(kPixelFormatI420, 32, 16, frame.data(), int(frame.size()), -1, -1,
                                  -1, -1),
              -4);
    EXPECT_EQ(frame, before);
    EXPECT_TRUE(engine.chainDirty());  // no rebuild happened
    EXPECT_EQ(observer.processResults, std::vector<int>{-4});
}

TEST_F(EngineTest, BadCallerBuffersAreRejectedBeforeAnyConversion) {
    ASSERT_EQ(engine.setVideoEffects({101}), 0);
    enableBeauty();
    std::vector<uint8_t> frame = greyI420(64, 48, 90);
    const int size = static_cast<int>(frame.size());
    struct Row {
        const char* what;
        int format, width, height;
        uint8_t* data;
        int size;
    } rows[] = {
        {"one byte short", kPixelFormatI420, 64, 48, frame.data(), size - 1},
        {"packed RGB needs four bytes a pixel", kPixelFormatRGBA, 64, 48, frame.data(), size},
        {"null buffer", kPixelFormatI420, 64, 48, nullptr, size},
        {"zero width", kPixelFormatI420, 0, 48, frame.data(), size},
        {"negative height", kPixelFormatI420, 64, -48, frame.data(), size},
        {"absurd width", kPixelFormatI420, 1 << 30, 1, frame.data(), size},
        {"largest frame, small buffer", kPixelFormatI420, 16384, 16384, frame.data(), size},
        {"largest frame, unknown format", 0, 16384, 16384, frame.data(), size},
        {"negative size", kPixelFormatI420, 64, 48, frame.data(), -5},
    };
    const std::vector<uint8_t> before = frame;
    for (const Row& row : rows) {
        EXPECT_EQ(engine.processFrame(row.format, row.width, row.height, row.data, row.size, -1, -1,
                                      -1, -1),
                  -6)
            << row.what;
    }
    EXPECT_EQ(frame, before);
}

TEST(EngineUninitialised, RefusesWorkWithoutTouchingTheBuffer) {
    RecordingObserver observer;
    VideoProcessEngineImpl engine(false);
    engine.setObserver(&observer);
    EXPECT_EQ(engine.setVideoEffects({101}), -3);
    EXPECT_EQ(observer.count(kLogError, "setVideoEffects fail, engine not inited"), 1);
    EXPECT_EQ(engine.setResourceBundle("/tmp"), -3);
    std::vector<uint8_t> frame = greyI420(16, 16);
    const std::vector<uint8_t> before = frame;
    EXPECT_EQ(engine.processFrame(1, 16, 16, frame.data(), int(frame.size()), -1, -1, -1, -1), -3);
    EXPECT_EQ(frame, before);
    int out = 0;
    EXPECT_EQ(engine.processTexture(1, 16, 16, 1, &out), -3);
    EXPECT_EQ(observer.processResults, (std::vector<int>{-3, -3}));
    EXPECT_STREQ(engine.getInfo("anything"), "");
    // Stored, but not applied before init.
    EXPECT_EQ(engine.setParameter("beauty_effect_option", R"({"enable":1})"), -3);
    EXPECT_FALSE(engine.beautyEnabled());
    EXPECT_EQ(engine.setParameter(nullptr, "{}"), -6);
    EXPECT_EQ(engine.setParameter("environment", nullptr), -6);
}

TEST_F(EngineTest, ReleaseThenInitWorksAgainAndKeepsTheEnableStates) {
    ASSERT_EQ(engine.setVideoEffects({101}), 0);
    enableBeauty();
    ASSERT_EQ(processGrey(), 0);
    EXPECT_EQ(engine.release(), 0);
    EXPECT_TRUE(observer.logged("video process engine released"));
    EXPECT_FALSE(engine.inited());

    engine.setObserver(&observer);
    ASSERT_EQ(engine.init(config()), 0);
    EXPECT_TRUE(engine.beautyEnabled());
    // The new render engine gets its chain on the next frame.
    EXPECT_TRUE(engine.chainDirty());
    EXPECT_EQ(processGrey(), 0);
    EXPECT_EQ(engine.chainTypes(), (std::vector<int>{103, 201, 901}));
}

TEST_F(EngineTest, ResourceBundlePathIsOnlyLogged) {
    EXPECT_EQ(engine.setResourceBundle("/opt/tables"), 0);
    EXPECT_EQ(observer.count(kLogInfo, "setResourceBundle: /opt/tables"), 1);
}

#if KELVO_WITH_GL
class EngineGLTest : public EngineTest {
protected:
    const char* config() const override { return R"({"backend":"gpu"})"; }
};

TEST_F(EngineGLTest, ReportsInitialisationAndTheGLRenderer) {
    EXPECT_EQ(observer.initialized, std::vector<int>{0});
    EXPECT_TRUE(observer.logged("GL renderer: "));
}

TEST_F(EngineGLTest, TextureChainDownloadsBeforeTheCpuDenoiser) {
    ASSERT_EQ(engine.setVideoEffects({103}), 0);
    enableBeauty();
    int out = 0;
    engine.processTexture(kTexture2D, 64, 48, 0, &out);
    EXPECT_EQ(engine.chainTypes(), (std::vector<int>{901, 10, 103, 201}));
    EXPECT_EQ(observer.last("inner effects: "), "inner effects: 901 10 103 201 ");
}
#endif

}  // namespace
}  // namespace video
}  // namespace kelvo
