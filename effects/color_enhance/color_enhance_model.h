// Colour enhancement as both backends draw it.
#pragma once

namespace kelvo {
namespace video {

// 0.1275 / 0.15^2.5, so the two branches of the chroma curve meet at the
// threshold (float bits 0x416A19AF); both backends take it from here.
float colorEnhanceLowChromaGain();

}  // namespace video
}  // namespace kelvo
