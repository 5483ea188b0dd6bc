#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "denoise/effect_video_denoiser.h"
#include "effects/color_enhance/gl/effect_color_enhance.h"
#include "effects/beauty/gl/effect_gpu_beauty.h"
#include "effects/lowlight/gl/effect_lowlight_enhance.h"
#include "engine/effect_factories.h"
#include "gpu/framebuffer_cache.h"
#include "gpu/gl_fbo.h"
#include "render/gl/gl_effect_base.h"
#include "render/gl/native_render_engine.h"
#include "support/gl_test_env.h"
#include "yuv_test_util.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

using testing_yuv::makeI420Frame;

class RecordingObserver : public NullObserver {
public:
    void onEffectResult(int result, int effectId) override {
        results.emplace_back(result, effectId);
    }

    std::vector<std::pair<int, int>> results;  // (status, public id)
};

using Results = std::vector<std::pair<int, int>>;

class NativeRenderEngineTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (IsSkipped()) return;
        FramebufferCache::instance()->purge();
        engine = std::make_unique<NativeRenderEngine>(createGLEffect);
        engine->setEffectObserver(&observer);
    }
    void TearDown() override {
        engine.reset();
        GLTest::TearDown();
    }
    GPUEffectBase* gpu(int type) {
        return dynamic_cast<GPUEffectBase*>(engine->effect(type).get());
    }
    std::vector<int> chainTypes() const {
        std::vector<int> types;
        for (const auto& effect : engine->chain()) types.push_back(effect->effectType);
        return types;
    }

    RecordingObserver observer;
    std::unique_ptr<NativeRenderEngine> engine;
};

TEST_F(NativeRenderEngineTest, ProcessNeedsAFrameAndAChainAndOtherwiseAcquiresNothing) {
    EXPECT_FALSE(engine->process(makeI420Frame(32, 32), false));
    engine->setEffects({103});
    EXPECT_FALSE(engine->process(nullptr, false));
    EXPECT_FALSE(engine->workingFramebuffer(0));
    EXPECT_FALSE(engine->workingFramebuffer(1));
    EXPECT_TRUE(observer.results.empty());
}

TEST_F(NativeRenderEngineTest, SetEffectsCreatesKnownTypesOnlyAndKeepsChainForEmptyList) {
    engine->setEffects({301, 201});
    EXPECT_EQ(chainTypes(), std::vector<int>{201});
    auto beauty = engine->effect(201);
    EXPECT_FALSE(beauty->prevEffect);
    EXPECT_FALSE(beauty->nextEffect);

    engine->setEffects({});
    EXPECT_EQ(engine->effect(201), beauty);

    EXPECT_EQ(engine->addEffect(305), -5);
    EXPECT_EQ(engine->addEffect(202), 0);
    EXPECT_EQ(chainTypes(), (std::vector<int>{201, 202}));

    engine->setEffects({102, 103, 201, 202, 203, 900, 901});
    EXPECT_EQ(chainTypes(), (std::vector<int>{102, 103, 201, 202, 203, 900, 901}));
    for (const auto& effect : engine->chain()) EXPECT_FALSE(effect->enabled);
    EXPECT_EQ(engine->effect(202)->prevEffect, engine->effect(201));
    EXPECT_EQ(engine->effect(202)->nextEffect, engine->effect(203));
}

TEST_F(NativeRenderEngineTest, BufferChainDrawsIntoWorkingFramebuffersByTurns) {
    engine->setEffects({103, 201, 901});
    engine->setBeautyEnable(true);  // brings both convertors on
    ASSERT_TRUE(engine->effect(103)->enabled && engine->effect(901)->enabled);

    auto frame = makeI420Frame(64, 48);
    ASSERT_TRUE(engine->process(frame, false));
    auto wf0 = engine->workingFramebuffer(0);
    auto wf1 = engine->workingFramebuffer(1);
    ASSERT_TRUE(wf0 && wf1 && wf0 != wf1);
    EXPECT_EQ(wf0->width, 64);
    EXPECT_EQ(wf0->height, 48);

    EXPECT_EQ(gpu(103)->outputFBO, wf0);
    EXPECT_EQ(gpu(201)->inputTexture, wf0->texture);
    EXPECT_EQ(gpu(201)->outputFBO, wf1);
    // The read-back is handed the framebuffer written last.
    EXPECT_EQ(gpu(901)->outputFBO, wf1);
    EXPECT_EQ(gpu(901)->inputTexture, wf1->texture);
    EXPECT_EQ(frame->textureId, static_cast<int>(wf1->colorTextureId));
    EXPECT_EQ(frame->textureType, kTexture2D);
    EXPECT_EQ(frame->storageKind, 0);
    EXPECT_EQ(observer.results, (Results{{0, -1}, {0, kEffectBeauty}, {0, -1}}));
}

TEST_F(NativeRenderEngineTest, FailingEffectIsReportedAndDropsOutOfTheImageFlow) {
    engine->setEffects({103, 201, 202, 901});
    engine->setBeautyEnable(true);
    engine->setColorEnhanceEnable(true);
    engine->effect(201)->release();  // a released effect cannot draw: −1

    auto frame = makeI420Frame(32, 16);
    ASSERT_TRUE(engine->process(frame, false));
    auto wf0 = engine->workingFramebuffer(0);
    auto wf1 = engine->workingFramebuffer(1);
    EXPECT_EQ(gpu(202)->inputTexture, wf0->texture);
    EXPECT_EQ(gpu(202)->outputFBO, wf1);
    EXPECT_EQ(gpu(901)->outputFBO, wf1);
    EXPECT_EQ(frame->textureId, static_cast<int>(wf1->colorTextureId));
    EXPECT_EQ(observer.results,
              (Results{{0, -1}, {kDrawFailed, kEffectBeauty}, {0, kEffectColorEnhance}, {0, -1}}));
}

TEST_F(NativeRenderEngineTest, DisabledEffectsAreSkippedWithoutReport) {
    engine->setEffects({103, 201, 202, 901});
    engine->setColorEnhanceEnable(true);
    ASSERT_TRUE(engine->process(makeI420Frame(32, 16), false));
    EXPECT_EQ(observer.results, (Results{{0, -1}, {0, kEffectColorEnhance}, {0, -1}}));
    EXPECT_FALSE(gpu(201)->outputFBO);
    EXPECT_EQ(gpu(202)->outputFBO, engine->workingFramebuffer(1));
}

TEST_F(NativeRenderEngineTest, WorkingFramebuffersFollowFrameSizeAndComeBackFromTheCache) {
    FramebufferCache* cache = FramebufferCache::instance();
    engine->setEffects({103, 201, 901});
    engine->setBeautyEnable(true);

    ASSERT_TRUE(engine->process(makeI420Frame(640, 480), false));
    const std::set<std::shared_ptr<FBOBase>> small = {engine->workingFramebuffer(0),
                                                      engine->workingFramebuffer(1)};
    const std::set<GLuint> smallNames = {engine->workingFramebuffer(0)->framebufferId,
                                         engine->workingFramebuffer(1)->framebufferId};
    ASSERT_EQ(small.size(), 2u);
    ASSERT_TRUE(engine->process(makeI420Frame(640, 480), false));
    EXPECT_EQ(small, (std::set<std::shared_ptr<FBOBase>>{engine->workingFramebuffer(0),
                                                         engine->workingFramebuffer(1)}));

    ASSERT_TRUE(engine->process(makeI420Frame(1280, 720), false));
    EXPECT_EQ(engine->workingFramebuffer(0)->width, 1280);
    EXPECT_EQ(engine->workingFramebuffer(1)->height, 720);
    EXPECT_EQ(small.count(engine->workingFramebuffer(0)), 0u);
    EXPECT_EQ(cache->countForSize("640x480"), 2);

    ASSERT_TRUE(engine->process(makeI420Frame(640, 480), false));
    EXPECT_EQ(small, (std::set<std::shared_ptr<FBOBase>>{engine->workingFramebuffer(0),
                                                         engine->workingFramebuffer(1)}));
    // Same GL names: taken from the cache, not initialised again.
    EXPECT_EQ(smallNames, (std::set<GLuint>{engine->workingFramebuffer(0)->framebufferId,
                                            engine->workingFramebuffer(1)->framebufferId}));
    EXPECT_EQ(cache->countForSize("640x480"), -1);
    EXPECT_EQ(cache->countForSize("1280x720"), 2);
}

TEST_F(NativeRenderEngineTest, TextureInputWrapsTheCallerTextureOncePerNameAndSize) {
    auto red = std::make_shared<GLFBO>();
    auto blue = std::make_shared<GLFBO>();
    red->InitFBO(24, 12);
    blue->InitFBO(24, 12);
    clearTo(*red, 1.0f, 0.0f, 0.0f, 1.0f);
    clearTo(*blue, 0.0f, 0.0f, 1.0f, 1.0f);
    auto textureFrame = [](GLuint name) {
        std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
        frame->setWidth(24);
        frame->setHeight(12);
        frame->textureId = static_cast<int>(name);
        frame->textureType = kTexture2D;
        return frame;
    };

    engine->setEffects({900});
    engine->effect(900)->setEnable(true);
    auto first = textureFrame(red->colorTextureId);
    ASSERT_TRUE(engine->process(first, true));
    const auto wrapping = gpu(900)->inputTexture;
    ASSERT_TRUE(wrapping);
    EXPECT_EQ(wrapping->textureId, red->colorTextureId);
    EXPECT_EQ(first->textureId, static_cast<int>(engine->workingFramebuffer(0)->colorTextureId));
    EXPECT_EQ(readBack(*engine->workingFramebuffer(0))[0], 255);

    ASSERT_TRUE(engine->process(textureFrame(red->colorTextureId), true));
    EXPECT_EQ(gpu(900)->inputTexture, wrapping);

    ASSERT_TRUE(engine->process(textureFrame(blue->colorTextureId), true));
    EXPECT_NE(gpu(900)->inputTexture, wrapping);
    EXPECT_EQ(gpu(900)->inputTexture->textureId, blue->colorTextureId);
    const auto pixels = readBack(*engine->workingFramebuffer(0));
    EXPECT_EQ(pixels[0], 0);
    EXPECT_EQ(pixels[2], 255);

    red->UnInitFBO();
    blue->UnInitFBO();
}

TEST_F(NativeRenderEngineTest, RebuiltChainDropsOldEffectsAndSettersReachTheNewOnes) {
    const std::vector<int> types = {103, 201, 202, 203, 901};
    engine->setEffects(types);
    std::vector<std::weak_ptr<EffectBase>> old;
    for (const auto& effect : engine->chain()) old.push_back(effect);
    engine->setBeautySmoothness(0.1f);

    engine->setEffects(types);
    // Linked in both directions, the old effects would keep each other alive.
    for (const auto& effect : old) EXPECT_TRUE(effect.expired());

    engine->setBeautyEnable(true);
    engine->setBeautySmoothness(0.8f);
    engine->setBeautyLightness(0.7f);
    engine->setBeautyRedness(0.6f);
    engine->setBeautyContrast(2);
    engine->setBeautySharpness(0.4f);
    engine->setBeautyLightStrength(80.0f);
    engine->setBeautyNoiseLevel(2);
    engine->setColorEnhanceEnable(true);
    engine->setColorEnhanceStrength(0.9f);
    engine->setColorEnhanceSkinProtect(0.2f);
    engine->setLowlightEnhanceEnable(true);
    engine->setLowlightEnhanceMode(1);
    engine->setLowlightEnhanceLevel(2);
    engine->setLowlightDarkScene(true);

    auto beauty = std::dynamic_pointer_cast<EffectGPUBeauty>(engine->effect(201));
    auto color = std::dynamic_pointer_cast<EffectColorEnhance>(engine->effect(202));
    auto lowlight = std::dynamic_pointer_cast<EffectLowlightEnhance>(engine->effect(203));
    ASSERT_TRUE(beauty && color && lowlight);
    EXPECT_TRUE(beauty->enabled);
    EXPECT_FLOAT_EQ(beauty->smoothness(), 0.8f);
    EXPECT_FLOAT_EQ(beauty->lightness(), 0.7f);
    EXPECT_FLOAT_EQ(beauty->redness(), 0.6f);
    EXPECT_EQ(beauty->contrast(), 2);
    EXPECT_FLOAT_EQ(beauty->sharpness(), 0.4f);
    EXPECT_FLOAT_EQ(beauty->lightStrength(), 80.0f);
    EXPECT_EQ(beauty->noiseLevel(), 2);
    EXPECT_TRUE(color->enabled);
    EXPECT_FLOAT_EQ(color->strength(), 0.9f);
    EXPECT_FLOAT_EQ(color->skinProtect(), 0.2f);
    EXPECT_TRUE(lowlight->enabled);
    EXPECT_EQ(lowlight->mode(), 1);
    EXPECT_EQ(lowlight->level(), 2);
    EXPECT_TRUE(lowlight->darkScene());
}

TEST_F(NativeRenderEngineTest, CpuEffectWorksOnPlanesWithoutTakingPartInThePingPong) {
    engine->setEffects({10, 103, 201, 901});
    engine->setVideoDenoiserEnable(true);
    engine->setBeautyEnable(true);
    auto denoiser = std::dynamic_pointer_cast<EffectVideoDenoiser>(engine->effect(10));
    ASSERT_TRUE(denoiser);

    auto frame = makeI420Frame(32, 16);
    ASSERT_TRUE(engine->process(frame, false));
    EXPECT_EQ(observer.results,
              (Results{{0, kEffectVideoDenoiser}, {0, -1}, {0, kEffectBeauty}, {0, -1}}));
    EXPECT_EQ(gpu(103)->outputFBO, engine->workingFramebuffer(0));
    EXPECT_EQ(gpu(201)->outputFBO, engine->workingFramebuffer(1));
    EXPECT_EQ(frame->textureId, static_cast<int>(engine->workingFramebuffer(1)->colorTextureId));
}

TEST_F(NativeRenderEngineTest, DenoiserReferenceIsDroppedOnlyWhenTheEnableStateChanges) {
    engine->setEffects({10});
    engine->setVideoDenoiserMode(1);
    engine->setVideoDenoiserLevel(2);
    engine->setVideoDenoiserAutoNoisy(false);
    auto denoiser = std::dynamic_pointer_cast<EffectVideoDenoiser>(engine->effect(10));
    ASSERT_TRUE(denoiser);
    EXPECT_EQ(denoiser->mode(), 1);
    EXPECT_EQ(denoiser->level(), 2);
    EXPECT_FALSE(denoiser->autoTrigger());

    engine->setVideoDenoiserEnable(true);
    ASSERT_TRUE(engine->process(makeI420Frame(32, 32), false));
    ASSERT_TRUE(denoiser->referenceFrame());
    engine->setVideoDenoiserEnable(true);
    EXPECT_TRUE(denoiser->referenceFrame());
    engine->setVideoDenoiserEnable(false);
    EXPECT_FALSE(denoiser->referenceFrame());
    EXPECT_FALSE(denoiser->enabled);
}

TEST_F(NativeRenderEngineTest, DuplicateTypeRunsTwiceAndSettersReachTheFirst) {
    engine->setEffects({103, 201, 201, 901});
    engine->setBeautyEnable(true);
    auto first = engine->chain().begin();
    auto second = std::next(first, 2);
    EXPECT_EQ(engine->effect(201), *std::next(first));
    (*second)->setEnable(true);
    engine->setBeautySmoothness(0.25f);
    EXPECT_FLOAT_EQ(std::dynamic_pointer_cast<EffectGPUBeauty>(*second)->smoothness(), 0.5f);

    auto frame = makeI420Frame(32, 16);
    ASSERT_TRUE(engine->process(frame, false));
    auto wf0 = engine->workingFramebuffer(0);
    EXPECT_EQ(std::dynamic_pointer_cast<GPUEffectBase>(*second)->outputFBO, wf0);
    EXPECT_EQ(gpu(901)->outputFBO, wf0);
    EXPECT_EQ(frame->textureId, static_cast<int>(wf0->colorTextureId));
    EXPECT_EQ(observer.results,
              (Results{{0, -1}, {0, kEffectBeauty}, {0, kEffectBeauty}, {0, -1}}));
}

TEST_F(NativeRenderEngineTest, DestroyingOneEngineKeepsAnotherEnginesFramebuffers) {
    NativeRenderEngine other(createGLEffect);
    other.setEffects({103, 201, 901});
    other.setBeautyEnable(true);
    ASSERT_TRUE(other.process(makeI420Frame(48, 32), false));
    auto kept0 = other.workingFramebuffer(0);
    auto kept1 = other.workingFramebuffer(1);

    engine->setEffects({103, 201, 901});
    engine->setBeautyEnable(true);
    ASSERT_TRUE(engine->process(makeI420Frame(48, 32), false));
    std::weak_ptr<EffectBase> dropped = engine->effect(201);
    engine.reset();

    EXPECT_TRUE(dropped.expired());
    EXPECT_EQ(FramebufferCache::instance()->storedCount(), 0u);
    EXPECT_NE(kept0->framebufferId, 0u);
    EXPECT_NE(kept1->framebufferId, 0u);
    auto frame = makeI420Frame(48, 32);
    ASSERT_TRUE(other.process(frame, false));
    EXPECT_EQ(frame->textureId, static_cast<int>(kept1->colorTextureId));
}

}  // namespace
}  // namespace video
}  // namespace kelvo
