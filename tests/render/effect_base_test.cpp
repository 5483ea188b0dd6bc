#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <memory>
#include <string>
#include <vector>

#include "frame/i420_video_frame.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"
#include "render/gl/gl_effect_base.h"
#include "render/gl/effect_oes_convertor.h"
#include "support/gl_test_env.h"

namespace kelvo {
namespace video {
namespace {

// An effect with a type and kind and nothing else; setEnable needs no GL.
class StubEffect : public GLEffectBase {
public:
    StubEffect(int type, int kind) : GLEffectBase(type, kind) {}
    void init() override {}
    void release() override {}
    int Draw(std::shared_ptr<I420VideoFrame>) override { return kDrawDone; }
};

using Chain = std::vector<std::shared_ptr<EffectBase>>;

Chain makeChain(const std::vector<int>& types) {
    Chain chain;
    for (int type : types) {
        const int kind = type == 103   ? kEffectKindInputConvertor
                         : type == 901 ? kEffectKindOutputConvertor
                         : type == 10  ? kEffectKindCPU
                                       : kEffectKindGPUFilter;
        chain.push_back(std::make_shared<StubEffect>(type, kind));
    }
    for (size_t p = 0; p < chain.size(); ++p) {
        chain[p]->prevEffect = p > 0 ? chain[p - 1] : nullptr;
        chain[p]->nextEffect = p + 1 < chain.size() ? chain[p + 1] : nullptr;
    }
    return chain;
}

void unlinkAll(Chain& chain) {
    for (auto& effect : chain) {
        effect->unlink();
    }
}

std::string enabledStates(const Chain& chain) {
    std::string states;
    for (const auto& effect : chain) {
        states += effect->enabled ? '1' : '0';
    }
    return states;
}

TEST(EffectSetEnable, ConvertorPairIsOnWhileAnyEffectBetweenIsOn) {
    Chain chain = makeChain({103, 201, 202, 901});
    EXPECT_EQ("0000", enabledStates(chain));

    chain[1]->setEnable(true);
    EXPECT_EQ("1101", enabledStates(chain));
    chain[2]->setEnable(true);
    EXPECT_EQ("1111", enabledStates(chain));
    chain[1]->setEnable(false);
    EXPECT_EQ("1011", enabledStates(chain));
    chain[2]->setEnable(false);
    EXPECT_EQ("0000", enabledStates(chain));
    unlinkAll(chain);
}

TEST(EffectSetEnable, OutputBeforeInputAlsoCountsAsAPair) {
    Chain chain = makeChain({901, 202, 103});
    chain[1]->setEnable(true);
    EXPECT_EQ("111", enabledStates(chain));
    unlinkAll(chain);
}

TEST(EffectSetEnable, SameValueTouchesNoNeighbour) {
    Chain chain = makeChain({103, 201, 202, 901});
    chain[0]->enabled = true;  // out of step on purpose
    chain[1]->setEnable(false);
    EXPECT_EQ("1000", enabledStates(chain));
    unlinkAll(chain);
}

TEST(EffectSetEnable, WithoutAConvertorOnBothSidesNothingElseChanges) {
    Chain open = makeChain({201, 202, 901});
    open[0]->setEnable(true);
    EXPECT_EQ("100", enabledStates(open));
    unlinkAll(open);

    Chain twoInputs = makeChain({103, 201, 103});
    twoInputs[1]->setEnable(true);
    EXPECT_EQ("010", enabledStates(twoInputs));
    unlinkAll(twoInputs);
}

TEST(EffectSetEnable, ConvertorOutsideTheBracketIsNotPassed) {
    // The CPU stage before 103 is outside the pair and does not count.
    Chain chain = makeChain({10, 103, 201, 901});
    chain[0]->setEnable(true);
    chain[2]->setEnable(true);
    chain[2]->setEnable(false);
    EXPECT_EQ("1000", enabledStates(chain));
    unlinkAll(chain);
}

TEST(EffectLinks, UnlinkLetsADroppedChainGo) {
    Chain chain = makeChain({103, 201, 901});
    std::weak_ptr<EffectBase> middle = chain[1];
    unlinkAll(chain);
    chain.clear();
    EXPECT_TRUE(middle.expired());
}

class DescribedFrame : public IFrameSource {
public:
    explicit DescribedFrame(FrameDescriptor d) : descriptor(d) {}
    void describe(FrameDescriptor& out) const override { out = descriptor; }
    FrameDescriptor descriptor;
};

TEST(EffectTextureFromFrame, WrapsOnlyFramesThatCarryATexture) {
    StubEffect effect(201, kEffectKindGPUFilter);
    EXPECT_EQ(nullptr, effect.textureFromFrame(nullptr));

    FrameDescriptor planes;
    planes.kind = 0;
    planes.textureId = 5;
    EXPECT_EQ(nullptr, effect.textureFromFrame(std::make_shared<DescribedFrame>(planes)));

    FrameDescriptor carried{1, 77, kTextureExternalOES, 320, 240};
    auto texture = std::dynamic_pointer_cast<GLTexture>(
        effect.textureFromFrame(std::make_shared<DescribedFrame>(carried)));
    ASSERT_NE(nullptr, texture);
    EXPECT_TRUE(texture->external);
    EXPECT_EQ(77u, texture->textureId);
    EXPECT_EQ(kTextureExternalOES, texture->textureType);
    EXPECT_EQ(320, texture->width);
    EXPECT_EQ(240, texture->height);
}

using GPUEffectTest = GLTest;

TEST_F(GPUEffectTest, OutputTextureIsTheFramebufferTextureOnceComplete) {
    StubEffect effect(202, kEffectKindGPUFilter);
    EXPECT_EQ(nullptr, effect.outputTexture());
    EXPECT_EQ(nullptr, effect.outputFramebuffer());

    std::shared_ptr<FBOBase> incomplete = std::make_shared<GLFBO>();
    testing::internal::CaptureStderr();
    incomplete->InitFBO(0, 2);
    testing::internal::GetCapturedStderr();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    effect.setOutputFBO(incomplete);
    EXPECT_EQ(incomplete, effect.outputFramebuffer());
    EXPECT_EQ(nullptr, effect.outputTexture());

    std::shared_ptr<FBOBase> complete = std::make_shared<GLFBO>();
    complete->InitFBO(2, 2);
    effect.setOutputFBO(complete);
    EXPECT_EQ(complete->texture, effect.outputTexture());
    EXPECT_EQ(2, complete.use_count());  // shared, not moved

    incomplete->UnInitFBO();
    complete->UnInitFBO();
}

TEST_F(GPUEffectTest, OESConvertorAcceptsOnlyExternalImagesAndAFrame) {
    testing::internal::CaptureStderr();
    EffectOESConvertor convertor;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(102, convertor.effectType);
    EXPECT_EQ(kEffectKindInputConvertor, convertor.effectKind);
    EXPECT_FALSE(convertor.enabled);

    auto frame = std::shared_ptr<I420VideoFrame>(new I420VideoFrame(), I420VideoFrame::deleter());
    EXPECT_EQ(kDrawNoOutput, convertor.Draw(frame));

    auto fbo = std::make_shared<GLFBO>();
    fbo->InitFBO(2, 2);
    clearTo(*fbo, 0.f, 0.f, 1.f, 1.f);
    convertor.setOutputFBO(fbo);
    EXPECT_EQ(kDrawNoOutput, convertor.Draw(nullptr));
    EXPECT_EQ(kDrawBadInputTexture, convertor.Draw(frame));

    auto plain = std::make_shared<GLTexture>();
    convertor.setInputTexture(plain);
    EXPECT_EQ(kDrawBadInputTexture, convertor.Draw(frame));
    EXPECT_EQ(255, readBack(*fbo)[2]);  // nothing drawn

    // A released convertor has no program to draw with.
    convertor.release();
    convertor.release();
    convertor.setInputTexture(
        std::make_shared<GLTexture>(plain->textureId, kTextureExternalOES, 2, 2));
    EXPECT_EQ(kDrawFailed, convertor.Draw(frame));
    fbo->UnInitFBO();
}

}  // namespace
}  // namespace video
}  // namespace kelvo
