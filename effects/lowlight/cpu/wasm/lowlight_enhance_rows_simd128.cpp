#include "effects/lowlight/cpu/wasm/lowlight_enhance_rows_wasm.h"
#include "cpu/vec16_wasm.h"
#include "effects/lowlight/cpu/lowlight_enhance_kernel.h"

namespace kelvo {
namespace video {

void LowlightEnhanceRow_SIMD128(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                             uint8_t* dst, int width, const LowlightGainTable& gains,
                             uint16_t* greenSums) {
    lowlightRow<WASMOps16>(prev, cur, next, dst, width, gains, greenSums);
}

}  // namespace video
}  // namespace kelvo
