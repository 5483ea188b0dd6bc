// The WebAssembly rows of denoiser_rows.h, denoiser_blend.h and
// temporal_rows.h (SIMD128: the build that has them is loaded only where it
// validates).
#pragma once

#include "denoise/denoiser_blend.h"
#include "denoise/denoiser_rows.h"
#include "denoise/temporal_rows.h"

namespace kelvo {
namespace video {

KELVO_DENOISER_ROWS(SIMD128)

// The strong denoiser's rows.
extern const TemporalRows kTemporalRowsSIMD128;

// The same blends in SIMD128, equal for every pair of samples; they run from
// denoiserRows() (denoiser_rows.h). The static one takes weights in 0.5..1
// (others, and those just above 0.5, go to the portable code).
void blendMovingBlock16x16SIMD128(const uint8_t* reference, int referenceStride,
                                  const uint8_t* source, int sourceStride, uint8_t* out,
                                  int outStride);
void blendStaticBlock16x16SIMD128(const uint8_t* reference, int referenceStride,
                                  const uint8_t* source, int sourceStride, uint8_t* out,
                                  int outStride, float staticWeight);

}  // namespace video
}  // namespace kelvo
