// The 64-bit ARM rows of denoiser_rows.h, denoiser_blend.h and
// temporal_rows.h (NEON: every such processor has it).
#pragma once

#include "denoise/denoiser_blend.h"
#include "denoise/denoiser_rows.h"
#include "denoise/temporal_rows.h"

namespace kelvo {
namespace video {

KELVO_DENOISER_ROWS(NEON)
// The strong denoiser's rows.
extern const TemporalRows kTemporalRowsNEON;
// The two block blends, equal to the portable ones for every pair of
// samples; the static one takes weights in 0.5..1 as the SSE2 one does.
void blendMovingBlock16x16NEON(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride);
void blendStaticBlock16x16NEON(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride, float staticWeight);

}  // namespace video
}  // namespace kelvo
