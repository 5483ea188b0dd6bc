// Between the public effect identifiers and the internal effect types of
// the render chain. Read from the effects' descriptors, so these are defined
// with the registry (engine/effect_factories.cpp); the render layer itself
// knows an effect's public identifier only as EffectBase::publicId.
#pragma once

#include "frame/numbering.h"

namespace kelvo {
namespace video {

// Public identifier → the internal type of its descriptor (101→201,
// 102→202, 103→10, 104→203); 201→301, 202→302, 203→303, 204→304, 901→305
// (types no effect has); −1 for anything else.
int internalEffectType(int effectId);
// True for an effect that works on the frame's planes (the video denoiser);
// every other identifier, unknown ones included, counts as a GPU effect.
bool isCpuEffect(int effectId);

}  // namespace video
}  // namespace kelvo
