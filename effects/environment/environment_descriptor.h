// The capture conditions the caller reports ("environment"): an option key
// no effect owns; its members reach beauty's skin test and smoothing.
#pragma once

#include "render/effect_descriptor.h"

namespace kelvo {
namespace video {

enum EnvironmentSetting {
    kEnvironmentLightStrengthSetting,
    kEnvironmentNoiseLevelSetting,
};

extern const EffectDescriptor kEnvironmentDescriptor;

}  // namespace video
}  // namespace kelvo
