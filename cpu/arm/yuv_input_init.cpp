#include "cpu/arm/yuv_input_rows_arm.h"

namespace kelvo {
namespace video {

void yuvInputRowsInitArch(YUVInputRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagNEON) rows = {ChromaAcrossRow_NEON, YUVToRGBARow_NEON};
}

}  // namespace video
}  // namespace kelvo
