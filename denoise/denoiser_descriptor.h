// The video denoiser's parameter document, described once.
#pragma once

#include "render/effect_descriptor.h"

namespace kelvo {
namespace video {

enum DenoiserSetting {
    kDenoiserEnableSetting,
    kDenoiserModeSetting,
    kDenoiserLevelSetting,
};

extern const EffectDescriptor kDenoiserDescriptor;

}  // namespace video
}  // namespace kelvo
