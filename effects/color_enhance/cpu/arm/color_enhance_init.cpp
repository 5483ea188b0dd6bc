#include "effects/color_enhance/cpu/arm/color_enhance_rows_arm.h"

namespace kelvo {
namespace video {

void colorEnhanceRowsInitArch(ColorEnhanceRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagNEON)
        rows = {ColorEnhanceRow_NEON, ColorEnhanceCubeRow_NEON, ColorEnhanceEncodedRow_NEON};
}

}  // namespace video
}  // namespace kelvo
