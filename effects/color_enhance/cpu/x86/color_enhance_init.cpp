#include "effects/color_enhance/cpu/x86/color_enhance_rows_x86.h"

namespace kelvo {
namespace video {

void colorEnhanceRowsInitArch(ColorEnhanceRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSSE2)
        rows = {ColorEnhanceRow_SSE2, ColorEnhanceCubeRow_SSE2, ColorEnhanceEncodedRow_SSE2};
    if (flags & kCpuFlagAVX2)
        rows = {ColorEnhanceRow_AVX2, ColorEnhanceCubeRow_AVX2, ColorEnhanceEncodedRow_AVX2};
}

}  // namespace video
}  // namespace kelvo
