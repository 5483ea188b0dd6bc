// The 64-bit ARM rows of lowlight_enhance_rows.h (NEON: every such processor
// has it).
#pragma once

#include "effects/lowlight/cpu/lowlight_enhance_rows.h"

namespace kelvo {
namespace video {

void LowlightEnhanceRow_NEON(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                             uint8_t* dst, int width, const LowlightGainTable& gains,
                             uint16_t* greenSums);

}  // namespace video
}  // namespace kelvo
