#include "effects/lowlight/cpu/wasm/lowlight_enhance_rows_wasm.h"

namespace kelvo {
namespace video {

void lowlightRowsInitArch(LowlightRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSIMD128) rows = {LowlightEnhanceRow_SIMD128};
}

}  // namespace video
}  // namespace kelvo
