// NEON denoiser kernels, from the lane-set kernels.
#include "denoise/arm/denoise_rows_arm.h"
#include "cpu/vec16_neon.h"
#include "denoise/denoiser_filter_kernel.h"

namespace kelvo {
namespace video {

void CopyBlock16x16_NEON(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) {
    copyBlock16x16Rows<NEONOps16>(src, srcStride, dst, dstStride);
}

uint32_t Variance16x8_NEON(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                           uint32_t* sse) {
    return variance16x8Rows<NEONOps16>(a, aStride, b, bStride, sse);
}

BlockDecision DenoiseBlock_NEON(const uint8_t* reference, int referenceStride, uint8_t* out,
                                int outStride, const uint8_t* source, int sourceStride, int motion,
                                int strong, int* sumDiff) {
    return denoiseBlockRows<NEONOps16>(reference, referenceStride, out, outStride, source,
                                       sourceStride, motion, strong, sumDiff);
}

}  // namespace video
}  // namespace kelvo
