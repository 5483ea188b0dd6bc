#include "effects/lowlight/cpu/x86/lowlight_enhance_rows_x86.h"

namespace kelvo {
namespace video {

void lowlightRowsInitArch(LowlightRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSSE2) rows = {LowlightEnhanceRow_SSE2};
    if (flags & kCpuFlagAVX2) rows = {LowlightEnhanceRow_AVX2};
}

}  // namespace video
}  // namespace kelvo
