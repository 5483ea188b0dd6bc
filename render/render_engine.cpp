#include "render/render_engine.h"

#include "render/effect_base.h"
#include "render/effect_controls.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

template <class Controls>
Controls* RenderEngine::controls(int type) const {
    // The chain holds the effect, so the pointer outlives the lookup.
    return dynamic_cast<Controls*>(effect(type).get());
}

void RenderEngine::setBeautyEnable(bool enable) {
    if (auto e = effect(kEffectTypeBeauty)) e->setEnable(enable);
}
void RenderEngine::setBeautySmoothness(float value) {
    if (auto e = controls<BeautyControls>(kEffectTypeBeauty)) e->setSmoothness(value);
}
void RenderEngine::setBeautyLightness(float value) {
    if (auto e = controls<BeautyControls>(kEffectTypeBeauty)) e->setLightness(value);
}
void RenderEngine::setBeautyRedness(float value) {
    if (auto e = controls<BeautyControls>(kEffectTypeBeauty)) e->setRedness(value);
}
void RenderEngine::setBeautyContrast(int value) {
    if (auto e = controls<BeautyControls>(kEffectTypeBeauty)) e->setContrast(value);
}
void RenderEngine::setBeautySharpness(float value) {
    if (auto e = controls<BeautyControls>(kEffectTypeBeauty)) e->setSharpness(value);
}
void RenderEngine::setBeautyLightStrength(float value) {
    if (auto e = controls<BeautyControls>(kEffectTypeBeauty)) e->setLightStrength(value);
}
void RenderEngine::setBeautyNoiseLevel(int value) {
    if (auto e = controls<BeautyControls>(kEffectTypeBeauty)) e->setNoiseLevel(value);
}

void RenderEngine::setColorEnhanceEnable(bool enable) {
    if (auto e = effect(kEffectTypeColorEnhance)) e->setEnable(enable);
}
void RenderEngine::setColorEnhanceStrength(float value) {
    if (auto e = controls<ColorEnhanceControls>(kEffectTypeColorEnhance)) e->setStrength(value);
}
void RenderEngine::setColorEnhanceSkinProtect(float value) {
    if (auto e = controls<ColorEnhanceControls>(kEffectTypeColorEnhance)) e->setSkinProtect(value);
}

void RenderEngine::setLowlightEnhanceEnable(bool enable) {
    if (auto e = effect(kEffectTypeLowlightEnhance)) e->setEnable(enable);
}
void RenderEngine::setLowlightEnhanceMode(int mode) {
    if (auto e = controls<LowlightControls>(kEffectTypeLowlightEnhance)) e->setMode(mode);
}
void RenderEngine::setLowlightEnhanceLevel(int level) {
    if (auto e = controls<LowlightControls>(kEffectTypeLowlightEnhance)) e->setLevel(level);
}
void RenderEngine::setLowlightDarkScene(bool dark) {
    if (auto e = controls<LowlightControls>(kEffectTypeLowlightEnhance)) e->setDarkScene(dark);
}

void RenderEngine::setVideoDenoiserEnable(bool enable) {
    std::shared_ptr<EffectBase> e = effect(kEffectTypeVideoDenoiser);
    auto* denoiser = dynamic_cast<DenoiserControls*>(e.get());
    if (!denoiser) return;
    // A reference from before the switch would be blended into the next frame.
    if (e->enabled != enable) denoiser->dropReference();
    e->setEnable(enable);
}
void RenderEngine::setVideoDenoiserMode(int mode) {
    if (auto e = controls<DenoiserControls>(kEffectTypeVideoDenoiser)) e->setMode(mode);
}
void RenderEngine::setVideoDenoiserLevel(int level) {
    if (auto e = controls<DenoiserControls>(kEffectTypeVideoDenoiser)) e->setLevel(level);
}
void RenderEngine::setVideoDenoiserAutoNoisy(bool noisy) {
    if (auto e = controls<DenoiserControls>(kEffectTypeVideoDenoiser)) e->setAutoTrigger(noisy);
}

}  // namespace video
}  // namespace kelvo
