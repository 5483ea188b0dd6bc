#include "effects/color_enhance/cpu/wasm/color_enhance_rows_wasm.h"
#include "cpu/vec_wasm.h"
#include "cpu/vec16_wasm.h"
#include "effects/color_enhance/cpu/color_enhance_kernel.h"

namespace kelvo {
namespace video {

void ColorEnhanceRow_SIMD128(const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p) {
    colorEnhanceRow<WASMOps>(src, dst, width, p);
}

void ColorEnhanceEncodedRow_SIMD128(const uint8_t* src, float* dst, int width,
                                 const ColorEnhanceRowParams& p) {
    colorEnhanceEncodedRow<WASMOps>(src, dst, width, p);
}

void ColorEnhanceCubeRow_SIMD128(const ColorCubeView& cube, const uint32_t* blocks, const uint8_t* src,
                              uint8_t* dst, int width, const ColorEnhanceRowParams& p) {
    colorEnhanceCubeRow<WASMOps, WASMOps16>(cube, blocks, src, dst, width, p);
}

}  // namespace video
}  // namespace kelvo
