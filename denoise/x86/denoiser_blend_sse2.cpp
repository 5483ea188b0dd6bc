// SSE2 forms of the two block blends, from the lane-set kernels.
#include "denoise/x86/denoise_rows_x86.h"

#include "cpu/vec16_sse2.h"
#include "cpu/vec_sse2.h"
#include "denoise/denoiser_blend_kernel.h"

namespace kelvo {
namespace video {

void blendMovingBlock16x16SSE2(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride) {
    blendMovingRows<SSE2Ops16>(reference, referenceStride, source, sourceStride, out, outStride);
}

void blendStaticBlock16x16SSE2(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride, float staticWeight) {
    blendStaticRows<SSE2Ops16, SSE2Ops>(reference, referenceStride, source, sourceStride, out,
                                        outStride, staticWeight);
}

}  // namespace video
}  // namespace kelvo

