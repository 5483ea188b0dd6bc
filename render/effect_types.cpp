#include "render/effect_types.h"

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

int internalEffectType(int effectId) {
    switch (effectId) {
        case kEffectBeauty:
            return kEffectTypeBeauty;
        case kEffectColorEnhance:
            return kEffectTypeColorEnhance;
        case kEffectVideoDenoiser:
            return kEffectTypeVideoDenoiser;
        case kEffectLowLightEnhance:
            return kEffectTypeLowlightEnhance;
        case 201:
            return 301;
        case 202:
            return 302;
        case 203:
            return 303;
        case 204:
            return 304;
        case 901:
            return 305;
        default:
            return -1;
    }
}

int publicEffectId(int internalType) {
    switch (internalType) {
        case kEffectTypeVideoDenoiser:
            return kEffectVideoDenoiser;
        case kEffectTypeBeauty:
            return kEffectBeauty;
        case kEffectTypeColorEnhance:
            return kEffectColorEnhance;
        case kEffectTypeLowlightEnhance:
            return kEffectLowLightEnhance;
        default:
            return -1;
    }
}

bool isCpuEffect(int effectId) { return effectId == kEffectVideoDenoiser; }

}  // namespace video
}  // namespace kelvo
