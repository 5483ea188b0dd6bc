#include "convert/arm/color_space_rows_arm.h"

namespace kelvo {
namespace video {

void packedRowsInitArch(PackedRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagNEON) {
        rows = {PackedRowToY_NEON, PackedRowPairToUV_NEON, YUVRowToPacked_NEON,
                PackedKeepAlphaRow_NEON};
    }
}

}  // namespace video
}  // namespace kelvo
