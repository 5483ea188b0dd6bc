// The effect chain of one engine: builds it from internal effect types, runs
// it once per frame through two working framebuffers used by turns, and routes
// every effect setting to the effect of the right type.
//
// Not thread-safe: the owning engine calls everything under its lock.
// Construction makes no GL call; setEffects, process and destruction need the
// GL context current on the calling thread.
#pragma once

#include <memory>
#include <vector>

#include "render/render_engine.h"

namespace kelvo {
namespace video {

class FBOBase;
class TextureBase;

// The GL backend.
class NativeRenderEngine : public RenderEngine, private ChainHandOver {
public:
    // The factory creates the chain's effects (see EffectFactory).
    explicit NativeRenderEngine(EffectFactory factory);
    ~NativeRenderEngine() override;

    NativeRenderEngine(const NativeRenderEngine&) = delete;
    NativeRenderEngine& operator=(const NativeRenderEngine&) = delete;

    // Creates one effect and appends it, unlinked: 0, or −5 for an unknown type.
    int addEffect(int type) { return chain_.append(type); }
    // Runs the enabled effects on the frame. With textureInput the frame
    // carries a caller texture; afterwards its textureId/textureType name the
    // output texture. False without frame or without chain, and when GL
    // could not create or fill a texture or framebuffer (glFailureCount):
    // the rest of the chain is skipped and the framebuffers of that size are
    // deleted.
    bool process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput) override;

    // Views for diagnostics and tests.
    std::shared_ptr<FBOBase> workingFramebuffer(int index) const { return pingPong_[index & 1]; }

private:
    // GL effects read a texture and draw into a framebuffer; the current
    // texture is the last one drawn, the output convertor's included (it
    // draws the RGBA image it reads back, and a texture caller gets it).
    bool handOver(EffectBase& effect, int output) override;
    void adoptOutput(EffectBase& effect, bool readBack) override;
    // A texture or framebuffer GL could not make or fill fails the frame.
    bool failed() const override;
    void releaseFrameResources(int width, int height);

    std::shared_ptr<FBOBase> pingPong_[2];
    std::shared_ptr<TextureBase> inputTexture_;
    std::shared_ptr<TextureBase> current_;
    std::shared_ptr<TextureBase> lastOutput_;
    unsigned failuresBefore_ = 0;
    int inputWidth_ = 0;
    int inputHeight_ = 0;
};

}  // namespace video
}  // namespace kelvo
