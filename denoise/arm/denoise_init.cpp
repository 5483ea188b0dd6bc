#include "denoise/arm/denoise_rows_arm.h"

namespace kelvo {
namespace video {

void denoiserRowsInitArch(DenoiserRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagNEON) {
        rows = {CopyBlock16x16_NEON, Variance16x8_NEON, DenoiseBlock_NEON,
                blendMovingBlock16x16NEON, blendStaticBlock16x16NEON};
    }
}

void temporalRowsInitArch(TemporalRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagNEON) rows = kTemporalRowsNEON;
}

}  // namespace video
}  // namespace kelvo
