#include "effects/color_enhance/cpu/x86/color_enhance_rows_x86.h"
#include "cpu/vec_sse2.h"
#include "cpu/vec16_sse2.h"
#include "effects/color_enhance/cpu/color_enhance_kernel.h"

namespace kelvo {
namespace video {

void ColorEnhanceRow_SSE2(const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p) {
    colorEnhanceRow<SSE2Ops>(src, dst, width, p);
}

void ColorEnhanceEncodedRow_SSE2(const uint8_t* src, float* dst, int width,
                                 const ColorEnhanceRowParams& p) {
    colorEnhanceEncodedRow<SSE2Ops>(src, dst, width, p);
}

void ColorEnhanceCubeRow_SSE2(const ColorCubeView& cube, const uint32_t* blocks,
                              const uint8_t* src, uint8_t* dst, int width,
                              const ColorEnhanceRowParams& p) {
    colorEnhanceCubeRow<SSE2Ops, SSE2Ops16>(cube, blocks, src, dst, width, p);
}

}  // namespace video
}  // namespace kelvo
