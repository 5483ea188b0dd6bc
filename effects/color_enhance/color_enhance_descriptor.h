// The colour enhancement's parameter document, described once.
#pragma once

#include "render/effect_descriptor.h"

namespace kelvo {
namespace video {

enum ColorEnhanceSetting {
    kColorEnhanceEnableSetting,
    kColorEnhanceSkinProtectSetting,
    kColorEnhanceStrengthSetting,
};

extern const EffectDescriptor kColorEnhanceDescriptor;

}  // namespace video
}  // namespace kelvo
