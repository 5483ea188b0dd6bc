// The WebAssembly rows of color_enhance_rows.h (SIMD128: the build that has
// them is loaded only where it validates).
#pragma once

#include "effects/color_enhance/cpu/color_enhance_rows.h"

namespace kelvo {
namespace video {

void ColorEnhanceRow_SIMD128(const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p);
void ColorEnhanceCubeRow_SIMD128(const ColorCubeView& cube, const uint32_t* blocks, const uint8_t* src,
                              uint8_t* dst, int width, const ColorEnhanceRowParams& p);
void ColorEnhanceEncodedRow_SIMD128(const uint8_t* src, float* dst, int width,
                                 const ColorEnhanceRowParams& p);

}  // namespace video
}  // namespace kelvo
