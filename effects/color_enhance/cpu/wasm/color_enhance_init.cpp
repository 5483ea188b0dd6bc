#include "effects/color_enhance/cpu/wasm/color_enhance_rows_wasm.h"

namespace kelvo {
namespace video {

void colorEnhanceRowsInitArch(ColorEnhanceRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSIMD128)
        rows = {ColorEnhanceRow_SIMD128, ColorEnhanceCubeRow_SIMD128, ColorEnhanceEncodedRow_SIMD128};
}

}  // namespace video
}  // namespace kelvo
