// Which backend init(config) picks, what it refuses, and what a CPU-backend
// engine does where GL would be needed.
#include <gtest/gtest.h>

#if KELVO_WITH_GL

#include <string>
#include <vector>

#include "engine/video_process_engine_impl.h"
#include "gpu/gpu_image_context.h"
#include "recording_observer.h"

namespace kelvo {
namespace video {
namespace {

TEST(BackendChoice, ConfigRowsPickABackendOrAreRefused) {
    struct Row {
        const char* config;
        int code;
        const char* backend;  // getInfo("backend") after init
    };
    // This machine's GL is llvmpipe: "auto" takes the CPU.
    const Row rows[] = {
        {nullptr, 0, "cpu"},
        {"", 0, "cpu"},
        {"{}", 0, "cpu"},
        {R"({"backend":"auto"})", 0, "cpu"},
        {R"({"backend":"gpu"})", 0, "gpu"},
        {R"({"backend":"cpu","threads":1})", 0, "cpu"},
        {R"({"threads":0,"other":true})", 0, "cpu"},
        {"{", -6, ""},
        {"[]", -6, ""},
        {R"("cpu")", -6, ""},
        {R"({"backend":"metal"})", -6, ""},
        {R"({"backend":1})", -6, ""},
        {R"({"threads":-1})", -6, ""},
        {R"({"threads":1.5})", -6, ""},
        {R"({"threads":"2"})", -6, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.config ? row.config : "null");
        RecordingObserver observer;
        VideoProcessEngineImpl engine(false);
        engine.setObserver(&observer);
        EXPECT_EQ(engine.init(row.config), row.code);
        EXPECT_STREQ(engine.getInfo("backend"), row.backend);
        if (row.code != 0) {
            EXPECT_TRUE(observer.logged("init fail, "));
        } else if (std::string(row.backend) == "cpu") {
            EXPECT_STREQ(engine.getInfo("renderer"), "cpu");
        } else {
            EXPECT_NE(std::string(engine.getInfo("renderer")).find("llvmpipe"), std::string::npos);
        }
        engine.release();
    }
}

std::vector<uint8_t> greyI420(int w, int h) {
    return std::vector<uint8_t>(w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2), 90);
}

// Every effect runs on the CPU backend where no GL context can be made, and
// the engine never creates the shared context.
TEST(BackendChoice, CpuEngineRunsEveryEffectWithoutAnyGL) {
    GPUImageContext::destroyIfUnused();
    GPUImageContext::failCreationForTesting(true);
    RecordingObserver observer;
    {
        VideoProcessEngineImpl gpu(false);
        EXPECT_EQ(gpu.init(R"({"backend":"gpu"})"), -1);
        VideoProcessEngineImpl fallback(false);
        EXPECT_EQ(fallback.init(""), 0);
        EXPECT_STREQ(fallback.getInfo("backend"), "cpu");
        fallback.release();
    }
    VideoProcessEngineImpl engine(false);
    ASSERT_EQ(engine.init(R"({"backend":"cpu"})"), 0);
    engine.setObserver(&observer);
    EXPECT_STREQ(engine.getInfo("renderer"), "cpu");
    ASSERT_EQ(engine.setVideoEffects({kEffectBeauty, kEffectColorEnhance, kEffectLowLightEnhance,
                                      kEffectVideoDenoiser}),
              0);
    for (const char* key : {"beauty_effect_option", "color_enhance_option"})
        ASSERT_EQ(engine.setParameter(key, R"({"enable":1})"), 0);
    ASSERT_EQ(engine.setParameter("lowlight_enhance_option", R"({"enable":1,"mode":1})"), 0);
    ASSERT_EQ(engine.setParameter("video_denoiser_option", R"({"enable":1,"mode":1})"), 0);
    auto frame = greyI420(37, 21);
    ASSERT_EQ(engine.processFrame(kPixelFormatI420, 37, 21, frame.data(), int(frame.size()), 0, 0,
                                  -1, -1),
              0);
    // In the order selected; the convertors report as -1.
    std::vector<std::pair<int, int>> effects;
    for (const auto& r : observer.effectResults)
        if (r.first != -1) effects.push_back(r);
    EXPECT_EQ(effects, (std::vector<std::pair<int, int>>{{kEffectBeauty, 0},
                                                         {kEffectColorEnhance, 0},
                                                         {kEffectLowLightEnhance, 0},
                                                         {kEffectVideoDenoiser, 0}}));
    EXPECT_STREQ(GPUImageContext::backendName(), "none");
    EXPECT_EQ(GPUImageContext::userCount(), 0);

    int texture = 0;
    EXPECT_EQ(engine.processTexture(1, 16, 16, 1, &texture), -6);
    EXPECT_TRUE(observer.logged("processTexture fail, texture input needs the GPU backend"));
    engine.release();
    GPUImageContext::failCreationForTesting(false);
    GPUImageContext::destroyIfUnused();
}

}  // namespace
}  // namespace video
}  // namespace kelvo
#endif
