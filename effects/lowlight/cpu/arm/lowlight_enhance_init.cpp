#include "effects/lowlight/cpu/arm/lowlight_enhance_rows_arm.h"

namespace kelvo {
namespace video {

void lowlightRowsInitArch(LowlightRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagNEON) rows = {LowlightEnhanceRow_NEON};
}

}  // namespace video
}  // namespace kelvo
