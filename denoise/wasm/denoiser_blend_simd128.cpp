// SIMD128 forms of the two block blends, from the lane-set kernels.
#include "denoise/wasm/denoise_rows_wasm.h"

#include "cpu/vec16_wasm.h"
#include "cpu/vec_wasm.h"
#include "denoise/denoiser_blend_kernel.h"

namespace kelvo {
namespace video {

void blendMovingBlock16x16SIMD128(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride) {
    blendMovingRows<WASMOps16>(reference, referenceStride, source, sourceStride, out, outStride);
}

void blendStaticBlock16x16SIMD128(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride, float staticWeight) {
    blendStaticRows<WASMOps16, WASMOps>(reference, referenceStride, source, sourceStride, out,
                                        outStride, staticWeight);
}

}  // namespace video
}  // namespace kelvo

