#include "render/render_engine.h"

#include "render/effect_base.h"

namespace kelvo {
namespace video {

void RenderEngine::applySetting(const EffectDescriptor& effect, size_t setting,
                                const SettingValue& value) {
    // The chain holds the effect, so the reference outlives the call.
    if (std::shared_ptr<EffectBase> e = this->effect(effect.internalType))
        effect[setting].apply(*e, value);
}

void applyEnable(EffectBase& effect, const SettingValue& value) {
    effect.setEnable(value.integer == 1);
}

}  // namespace video
}  // namespace kelvo
