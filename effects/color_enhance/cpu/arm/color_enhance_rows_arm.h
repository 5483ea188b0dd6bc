// The 64-bit ARM rows of color_enhance_rows.h (NEON: every such processor
// has it).
#pragma once

#include "effects/color_enhance/cpu/color_enhance_rows.h"

namespace kelvo {
namespace video {

void ColorEnhanceRow_NEON(const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p);
void ColorEnhanceCubeRow_NEON(const ColorCubeView& cube, const uint32_t* blocks, const uint8_t* src,
                              uint8_t* dst, int width, const ColorEnhanceRowParams& p);
void ColorEnhanceEncodedRow_NEON(const uint8_t* src, float* dst, int width,
                                 const ColorEnhanceRowParams& p);

}  // namespace video
}  // namespace kelvo
