// The beauty effect's parameter document, described once.
#pragma once

#include "render/effect_descriptor.h"

namespace kelvo {
namespace video {

// Rows of kBeautyDescriptor, in apply order.
enum BeautySetting {
    kBeautyEnableSetting,
    kBeautySmoothnessSetting,
    kBeautyLightnessSetting,
    kBeautyRednessSetting,
    kBeautyContrastSetting,
    kBeautySharpnessSetting,
    kBeautyLevelSetting,
};

extern const EffectDescriptor kBeautyDescriptor;

}  // namespace video
}  // namespace kelvo
