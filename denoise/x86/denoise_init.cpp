#include "denoise/temporal_rows.h"
#include "denoise/x86/denoise_rows_x86.h"

namespace kelvo {
namespace video {

void denoiserRowsInitArch(DenoiserRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSSE2) {
        rows = {CopyBlock16x16_SSE2, Variance16x8_SSE2, DenoiseBlock_SSE2,
                blendMovingBlock16x16SSE2, blendStaticBlock16x16SSE2};
    }
    if (flags & kCpuFlagAVX2) {
        rows.copyBlock16x16 = CopyBlock16x16_AVX2;
        rows.variance16x8 = Variance16x8_AVX2;
        rows.denoiseBlock = DenoiseBlock_AVX2;
    }
}

void temporalRowsInitArch(TemporalRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSSE2) rows = kTemporalRowsSSE2;
    if (flags & kCpuFlagAVX2) rows = kTemporalRowsAVX2;
}

}  // namespace video
}  // namespace kelvo
