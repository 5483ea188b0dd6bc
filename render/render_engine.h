// The seam between the engine and a rendering backend: the effect chain of
// one engine, built from internal effect types and run once per frame. The
// GL backend is NativeRenderEngine; the CPU backend is CpuRenderEngine.
//
// Not thread-safe: the owning engine calls everything under its lock. What a
// backend needs around the calls (a current GL context) is its own contract.
#pragma once

#include <memory>
#include <vector>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

class EffectBase;
class I420VideoFrame;

class RenderEngine {
public:
    virtual ~RenderEngine() = default;

    // Drops the current chain and creates one effect per known internal type,
    // in order, linked to its neighbours. Types that name no effect are
    // skipped. An empty list keeps the current chain.
    virtual void setEffects(const std::vector<int>& types) = 0;
    // Runs the enabled effects on the frame, reporting each one's Draw status
    // to the effect observer. With textureInput the frame carries a caller
    // texture (GL backend only). False only without frame or without chain.
    virtual bool process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput) = 0;

    // Receiver of per-effect results (not owned; may be null).
    void setEffectObserver(IVideoProcessObserver* observer) { effectObserver_ = observer; }

    // The first effect of that internal type in the chain, or empty.
    virtual std::shared_ptr<EffectBase> effect(int type) const = 0;

    // Setters; each does nothing when the chain has no effect of its type.
    virtual void setBeautyEnable(bool enable) = 0;
    virtual void setBeautySmoothness(float value) = 0;
    virtual void setBeautyLightness(float value) = 0;
    virtual void setBeautyRedness(float value) = 0;
    virtual void setBeautyContrast(int value) = 0;
    virtual void setBeautySharpness(float value) = 0;
    virtual void setBeautyLightStrength(float value) = 0;
    virtual void setBeautyNoiseLevel(int value) = 0;
    virtual void setColorEnhanceEnable(bool enable) = 0;
    virtual void setColorEnhanceStrength(float value) = 0;
    virtual void setColorEnhanceSkinProtect(float value) = 0;
    virtual void setLowlightEnhanceEnable(bool enable) = 0;
    virtual void setLowlightEnhanceMode(int mode) = 0;
    virtual void setLowlightEnhanceLevel(int level) = 0;
    virtual void setLowlightDarkScene(bool dark) = 0;
    // A change of the enable state first drops the denoiser's reference frame.
    virtual void setVideoDenoiserEnable(bool enable) = 0;
    virtual void setVideoDenoiserMode(int mode) = 0;
    virtual void setVideoDenoiserLevel(int level) = 0;
    virtual void setVideoDenoiserAutoNoisy(bool noisy) = 0;

protected:
    IVideoProcessObserver* effectObserver_ = nullptr;
};

}  // namespace video
}  // namespace kelvo
