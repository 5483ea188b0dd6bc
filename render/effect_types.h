// Between the public effect identifiers and the internal effect types of
// the render chain (both numbered in frame/numbering.h).
#pragma once

#include "frame/numbering.h"

namespace kelvo {
namespace video {

// Public identifier → internal type: 101→201, 102→202, 103→10, 104→203;
// 201→301, 202→302, 203→303, 204→304, 901→305 (types no effect has); −1
// for anything else.
int internalEffectType(int effectId);
// Internal type → public identifier: 10→103, 201→101, 202→102, 203→104;
// −1 for the convertors and anything else.
int publicEffectId(int internalType);
// The video denoiser is the only effect that runs on the CPU planes; every
// other identifier, unknown ones included, counts as a GPU effect.
bool isCpuEffect(int effectId);

}  // namespace video
}  // namespace kelvo
