// SSE2 denoiser kernels, from the lane-set kernels.
#include "denoise/x86/denoise_rows_x86.h"

#include "cpu/vec16_sse2.h"
#include "denoise/denoiser_filter_kernel.h"

namespace kelvo {
namespace video {

void CopyBlock16x16_SSE2(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) {
    copyBlock16x16Rows<SSE2Ops16>(src, srcStride, dst, dstStride);
}

uint32_t Variance16x8_SSE2(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                           uint32_t* sse) {
    return variance16x8Rows<SSE2Ops16>(a, aStride, b, bStride, sse);
}

BlockDecision DenoiseBlock_SSE2(const uint8_t* reference, int referenceStride, uint8_t* out,
                                int outStride, const uint8_t* source, int sourceStride, int motion,
                                int strong, int* sumDiff) {
    return denoiseBlockRows<SSE2Ops16>(reference, referenceStride, out, outStride, source,
                                       sourceStride, motion, strong, sumDiff);
}

}  // namespace video
}  // namespace kelvo

