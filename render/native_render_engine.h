// The effect chain of one engine: builds it from internal effect types, runs
// it once per frame through two working framebuffers used by turns, and routes
// every effect setting to the effect of the right type.
//
// Not thread-safe: the owning engine calls everything under its lock.
// Construction makes no GL call; setEffects, process and destruction need the
// GL context current on the calling thread.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <vector>

#include "render/render_engine.h"

namespace kelvo {
namespace video {

class FBOBase;
class TextureBase;

// The effects of this layer: the OES (102) and YUV input (103) convertors,
// the texture output (900) and the YUV output convertor (901); null for any
// other type. A GL backend's factory hands these types on to it.
std::shared_ptr<EffectBase> createGLConvertor(int type);

// The GL backend.
class NativeRenderEngine : public RenderEngine {
public:
    // The factory creates the chain's effects (see EffectFactory).
    explicit NativeRenderEngine(EffectFactory factory);
    ~NativeRenderEngine() override;

    NativeRenderEngine(const NativeRenderEngine&) = delete;
    NativeRenderEngine& operator=(const NativeRenderEngine&) = delete;

    // Drops the current chain (releasing its effects) and creates one effect
    // per known internal type, in order, linked to its neighbours. Types that
    // name no effect are skipped. An empty list keeps the current chain.
    void setEffects(const std::vector<int>& types) override;
    // Creates one effect and appends it: 0, or −5 for an unknown type.
    int addEffect(int type);
    // Runs the enabled effects on the frame. With textureInput the frame
    // carries a caller texture; afterwards its textureId/textureType name the
    // output texture. False without frame or without chain, and when GL
    // could not create or fill a texture or framebuffer (glFailureCount):
    // the rest of the chain is skipped and the framebuffers of that size are
    // deleted.
    bool process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput) override;

    // Views for diagnostics and tests.
    const std::list<std::shared_ptr<EffectBase>>& chain() const { return chain_; }
    std::shared_ptr<EffectBase> effect(int type) const override;
    std::shared_ptr<FBOBase> workingFramebuffer(int index) const { return pingPong_[index & 1]; }

private:
    void releaseFrameResources(int width, int height);

    EffectFactory factory_;
    std::shared_ptr<FBOBase> pingPong_[2];
    std::shared_ptr<TextureBase> inputTexture_;
    std::shared_ptr<TextureBase> lastOutput_;
    std::list<std::shared_ptr<EffectBase>> chain_;
    std::map<int, std::weak_ptr<EffectBase>> byType_;
    int inputWidth_ = 0;
    int inputHeight_ = 0;
};

}  // namespace video
}  // namespace kelvo
