#include "effects/lowlight/cpu/arm/lowlight_enhance_rows_arm.h"
#include "cpu/vec16_neon.h"
#include "effects/lowlight/cpu/lowlight_enhance_kernel.h"

namespace kelvo {
namespace video {

void LowlightEnhanceRow_NEON(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                             uint8_t* dst, int width, const LowlightGainTable& gains,
                             uint16_t* greenSums) {
    lowlightRow<NEONOps16>(prev, cur, next, dst, width, gains, greenSums);
}

}  // namespace video
}  // namespace kelvo
