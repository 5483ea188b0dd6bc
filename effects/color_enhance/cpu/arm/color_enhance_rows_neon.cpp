#include "effects/color_enhance/cpu/arm/color_enhance_rows_arm.h"
#include "cpu/vec_neon.h"
#include "cpu/vec16_neon.h"
#include "effects/color_enhance/cpu/color_enhance_kernel.h"

namespace kelvo {
namespace video {

void ColorEnhanceRow_NEON(const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p) {
    colorEnhanceRow<NEONOps>(src, dst, width, p);
}

void ColorEnhanceEncodedRow_NEON(const uint8_t* src, float* dst, int width,
                                 const ColorEnhanceRowParams& p) {
    colorEnhanceEncodedRow<NEONOps>(src, dst, width, p);
}

void ColorEnhanceCubeRow_NEON(const ColorCubeView& cube, const uint32_t* blocks, const uint8_t* src,
                              uint8_t* dst, int width, const ColorEnhanceRowParams& p) {
    colorEnhanceCubeRow<NEONOps, NEONOps16>(cube, blocks, src, dst, width, p);
}

}  // namespace video
}  // namespace kelvo
