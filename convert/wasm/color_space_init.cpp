#include "convert/wasm/color_space_rows_wasm.h"

namespace kelvo {
namespace video {

void packedRowsInitArch(PackedRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSIMD128) {
        rows = {PackedRowToY_SIMD128, PackedRowPairToUV_SIMD128, YUVRowToPacked_SIMD128,
                PackedKeepAlphaRow_SIMD128};
    }
}

}  // namespace video
}  // namespace kelvo
