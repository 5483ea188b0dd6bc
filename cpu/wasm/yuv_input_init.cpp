#include "cpu/wasm/yuv_input_rows_wasm.h"

namespace kelvo {
namespace video {

void yuvInputRowsInitArch(YUVInputRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSIMD128) rows = {ChromaAcrossRow_SIMD128, YUVToRGBARow_SIMD128};
}

}  // namespace video
}  // namespace kelvo
