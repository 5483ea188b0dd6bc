// The WebAssembly rows of lowlight_enhance_rows.h (SIMD128: the build that has
// them is loaded only where it validates).
#pragma once

#include "effects/lowlight/cpu/lowlight_enhance_rows.h"

namespace kelvo {
namespace video {

void LowlightEnhanceRow_SIMD128(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                             uint8_t* dst, int width, const LowlightGainTable& gains,
                             uint16_t* greenSums);

}  // namespace video
}  // namespace kelvo
