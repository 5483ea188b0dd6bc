#include "effects/lowlight/cpu/x86/lowlight_enhance_rows_x86.h"
#include "cpu/vec16_sse2.h"
#include "effects/lowlight/cpu/lowlight_enhance_kernel.h"

namespace kelvo {
namespace video {

void LowlightEnhanceRow_SSE2(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                             uint8_t* dst, int width, const LowlightGainTable& gains,
                             uint16_t* greenSums) {
    lowlightRow<SSE2Ops16>(prev, cur, next, dst, width, gains, greenSums);
}

}  // namespace video
}  // namespace kelvo
