// The x86 rows of lowlight_enhance_rows.h; call only where the CPU has the
// instruction set.
#pragma once

#include "effects/lowlight/cpu/lowlight_enhance_rows.h"

namespace kelvo {
namespace video {

void LowlightEnhanceRow_SSE2(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                             uint8_t* dst, int width, const LowlightGainTable& gains,
                             uint16_t* greenSums);
void LowlightEnhanceRow_AVX2(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                             uint8_t* dst, int width, const LowlightGainTable& gains,
                             uint16_t* greenSums);

}  // namespace video
}  // namespace kelvo
