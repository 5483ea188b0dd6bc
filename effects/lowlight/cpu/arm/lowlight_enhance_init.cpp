#include "effects/lowlight/cpu/arm/lowlight_enhance_rows_arm.h"

namespace kelvo {
namespace video {

// Row by row, so that a row added to the table keeps its portable form here
// until it has a NEON one.
void lowlightRowsInitArch(LowlightRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagNEON) rows.row = LowlightEnhanceRow_NEON;
}

}  // namespace video
}  // namespace kelvo
