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

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

class EffectBase;
class FBOBase;
class TextureBase;
class I420VideoFrame;

class NativeRenderEngine {
public:
    NativeRenderEngine();
    ~NativeRenderEngine();

    NativeRenderEngine(const NativeRenderEngine&) = delete;
    NativeRenderEngine& operator=(const NativeRenderEngine&) = delete;

    // Drops the current chain (releasing its effects) and creates one effect
    // per known internal type, in order, linked to its neighbours. Types that
    // name no effect are skipped. An empty list keeps the current chain.
    void setEffects(const std::vector<int>& types);
    // Creates one effect and appends it: 0, or −5 for an unknown type.
    int addEffect(int type);
    // Runs the enabled effects on the frame. With textureInput the frame
    // carries a caller texture; afterwards its textureId/textureType name the
    // output texture. False only without frame or without chain.
    bool process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput);

    // Receiver of per-effect results (not owned; may be null).
    void setEffectObserver(IVideoProcessObserver* observer) { effectObserver_ = observer; }

    // Setters; each does nothing when the chain has no effect of its type.
    void setBeautyEnable(bool enable);
    void setBeautySmoothness(float value);
    void setBeautyLightness(float value);
    void setBeautyRedness(float value);
    void setBeautyContrast(int value);
    void setBeautySharpness(float value);
    void setBeautyLightStrength(float value);
    void setBeautyNoiseLevel(int value);
    void setColorEnhanceEnable(bool enable);
    void setColorEnhanceStrength(float value);
    void setColorEnhanceSkinProtect(float value);
    void setLowlightEnhanceEnable(bool enable);
    void setLowlightEnhanceMode(int mode);
    void setLowlightEnhanceLevel(int level);
    void setLowlightDarkScene(bool dark);
    // A change of the enable state first drops the denoiser's reference frame.
    void setVideoDenoiserEnable(bool enable);
    void setVideoDenoiserMode(int mode);
    void setVideoDenoiserLevel(int level);
    void setVideoDenoiserAutoNoisy(bool noisy);

    // Views for diagnostics and tests.
    const std::list<std::shared_ptr<EffectBase>>& chain() const { return chain_; }
    // The first effect of that internal type in the chain, or empty.
    std::shared_ptr<EffectBase> effect(int type) const;
    std::shared_ptr<FBOBase> workingFramebuffer(int index) const { return pingPong_[index & 1]; }

private:
    template <class Effect>
    std::shared_ptr<Effect> find(int type) const;

    std::shared_ptr<FBOBase> pingPong_[2];
    std::shared_ptr<TextureBase> inputTexture_;
    std::shared_ptr<TextureBase> lastOutput_;
    std::list<std::shared_ptr<EffectBase>> chain_;
    std::map<int, std::weak_ptr<EffectBase>> byType_;
    IVideoProcessObserver* effectObserver_ = nullptr;
    int inputWidth_ = 0;
    int inputHeight_ = 0;
};

}  // namespace video
}  // namespace kelvo
