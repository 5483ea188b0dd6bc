#include "convert/x86/color_space_rows_x86.h"

namespace kelvo {
namespace video {

void packedRowsInitArch(PackedRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSSE2) {
        rows = {PackedRowToY_SSE2, PackedRowPairToUV_SSE2, YUVRowToPacked_SSE2,
                PackedKeepAlphaRow_SSE2};
    }
    if (flags & kCpuFlagAVX2) rows.toY = PackedRowToY_AVX2, rows.toUV = PackedRowPairToUV_AVX2;
}

}  // namespace video
}  // namespace kelvo
