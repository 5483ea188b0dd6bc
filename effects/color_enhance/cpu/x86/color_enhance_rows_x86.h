// The x86 rows of color_enhance_rows.h; call only where the CPU has the
// instruction set.
#pragma once

#include "effects/color_enhance/cpu/color_enhance_rows.h"

namespace kelvo {
namespace video {

void ColorEnhanceRow_SSE2(const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p);
void ColorEnhanceRow_AVX2(const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p);
void ColorEnhanceCubeRow_SSE2(const ColorCubeView& cube, const uint32_t* blocks,
                              const uint8_t* src, uint8_t* dst, int width,
                              const ColorEnhanceRowParams& p);
void ColorEnhanceCubeRow_AVX2(const ColorCubeView& cube, const uint32_t* blocks,
                              const uint8_t* src, uint8_t* dst, int width,
                              const ColorEnhanceRowParams& p);
void ColorEnhanceEncodedRow_SSE2(const uint8_t* src, float* dst, int width,
                                 const ColorEnhanceRowParams& p);
void ColorEnhanceEncodedRow_AVX2(const uint8_t* src, float* dst, int width,
                                 const ColorEnhanceRowParams& p);

}  // namespace video
}  // namespace kelvo
