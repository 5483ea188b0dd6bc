#include "engine/effect_factories.h"

#include "cpu/cpu_effects.h"
#include "denoise/effect_video_denoiser.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

std::shared_ptr<EffectBase> createCpuEffect(int type) {
    if (type == kEffectTypeVideoDenoiser) return std::make_shared<EffectVideoDenoiser>();
    return createCpuImageEffect(type);
}

}  // namespace video
}  // namespace kelvo
