#include "denoise/effect_video_denoiser.h"
#include "effects/beauty/gl/effect_gpu_beauty.h"
#include "effects/color_enhance/gl/effect_color_enhance.h"
#include "effects/lowlight/gl/effect_lowlight_enhance.h"
#include "engine/effect_factories.h"
#include "render/effect_types.h"
#include "render/gl/native_render_engine.h"

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

}  // namespace video
}  // namespace kelvo
