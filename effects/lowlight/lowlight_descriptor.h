// The low-light enhancement's parameter document, described once.
#pragma once

#include "render/effect_descriptor.h"

namespace kelvo {
namespace video {

enum LowlightSetting {
    kLowlightEnableSetting,
    kLowlightModeSetting,
    kLowlightLevelSetting,
    kLowlightAdaptiveSetting,
};

extern const EffectDescriptor kLowlightDescriptor;

}  // namespace video
}  // namespace kelvo
