// The x86 rows of denoiser_rows.h, denoiser_blend.h and temporal_rows.h; call only where the
// CPU has the instruction set.
#pragma once

#include "denoise/denoiser_blend.h"
#include "denoise/denoiser_rows.h"
#include "denoise/temporal_rows.h"

namespace kelvo {
namespace video {

KELVO_DENOISER_ROWS(SSE2)
KELVO_DENOISER_ROWS(AVX2)

// The strong denoiser's rows.
extern const TemporalRows kTemporalRowsSSE2;
extern const TemporalRows kTemporalRowsAVX2;

// The same blends in SSE2, equal for every pair of samples; they run from
// denoiserRows() (denoiser_rows.h). The static one takes weights in 0.5..1
// (others, and those just above 0.5, go to the portable code).
void blendMovingBlock16x16SSE2(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride);
void blendStaticBlock16x16SSE2(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride, float staticWeight);

}  // namespace video
}  // namespace kelvo
