#include "engine/effect_factories.h"

#include "cpu/cpu_effects.h"
#include "denoise/effect_video_denoiser.h"
#include "effects/effect_color_enhance.h"
#include "effects/effect_gpu_beauty.h"
#include "effects/effect_lowlight_enhance.h"
#include "render/effect_types.h"
#include "render/native_render_engine.h"

namespace kelvo {
namespace video {

std::shared_ptr<EffectBase> createGLEffect(int type) {
    switch (type) {
        case kEffectTypeVideoDenoiser: return std::make_shared<EffectVideoDenoiser>();
        case kEffectTypeBeauty: return std::make_shared<EffectGPUBeauty>();
        case kEffectTypeColorEnhance: return std::make_shared<EffectColorEnhance>();
        case kEffectTypeLowlightEnhance: return std::make_shared<EffectLowlightEnhance>();
        default: return createGLConvertor(type);
    }
}

std::shared_ptr<EffectBase> createCpuEffect(int type) {
    if (type == kEffectTypeVideoDenoiser) return std::make_shared<EffectVideoDenoiser>();
    return createCpuImageEffect(type);
}

}  // namespace video
}  // namespace kelvo
