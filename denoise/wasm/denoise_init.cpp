#include "denoise/temporal_rows.h"
#include "denoise/wasm/denoise_rows_wasm.h"

namespace kelvo {
namespace video {

void denoiserRowsInitArch(DenoiserRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSIMD128) {
        rows = {CopyBlock16x16_SIMD128, Variance16x8_SIMD128, DenoiseBlock_SIMD128,
                blendMovingBlock16x16SIMD128, blendStaticBlock16x16SIMD128};
    }
}

void temporalRowsInitArch(TemporalRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSIMD128) rows = kTemporalRowsSIMD128;
}

}  // namespace video
}  // namespace kelvo
