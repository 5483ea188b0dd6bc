// The seam between the engine and a rendering backend: the effect chain of
// one engine, built from internal effect types and run once per frame. The
// GL backend is NativeRenderEngine; the CPU backend is CpuRenderEngine.
//
// Not thread-safe: the owning engine calls everything under its lock. What a
// backend needs around the calls (a current GL context) is its own contract.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "kelvo/video_process_engine.h"
#include "render/effect_chain.h"
#include "render/effect_descriptor.h"

namespace kelvo {
namespace video {

class EffectBase;
class I420VideoFrame;
class RowSplitter;

// The factory is given by whoever constructs the backend, so that the render
// layer knows no effect beyond its own base classes.
class RenderEngine {
public:
    explicit RenderEngine(EffectFactory factory) : chain_(std::move(factory)) {}
    virtual ~RenderEngine() = default;

    // Drops the current chain and creates one effect per known internal type,
    // in order, linked to its neighbours. Types that name no effect are
    // skipped. An empty list keeps the current chain.
    void setEffects(const std::vector<int>& types) { chain_.build(types); }
    // Runs the enabled effects on the frame, reporting each one's Draw status
    // to the effect observer. With textureInput the frame carries a caller
    // texture (GL backend only). False only without frame or without chain.
    virtual bool process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput) = 0;
    // The backend's threads, for the engine's own work on the frame's rows;
    // null where there are none.
    virtual RowSplitter* rowSplitter() { return nullptr; }

    // Receiver of per-effect results (not owned; may be null).
    void setEffectObserver(IVideoProcessObserver* observer) { effectObserver_ = observer; }

    // The first effect of that internal type in the chain, or empty.
    std::shared_ptr<EffectBase> effect(int type) const { return chain_.effect(type); }
    const std::list<std::shared_ptr<EffectBase>>& chain() const { return chain_.effects(); }

    // Hands a document's value to the first effect of the descriptor's
    // internal type; nothing when the chain has none.
    void applySetting(const EffectDescriptor& effect, size_t setting, const SettingValue& value);

    // The named setters the engine and its automatic adjustments call, each
    // a row of an effect's descriptor; defined beside the descriptors.
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

protected:
    EffectChain chain_;
    IVideoProcessObserver* effectObserver_ = nullptr;
};

}  // namespace video
}  // namespace kelvo
