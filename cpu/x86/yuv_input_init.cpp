#include "cpu/x86/yuv_input_rows_x86.h"

namespace kelvo {
namespace video {

void yuvInputRowsInitArch(YUVInputRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSSE2) rows = {ChromaAcrossRow_SSE2, YUVToRGBARow_SSE2};
    if (flags & kCpuFlagAVX2) rows = {ChromaAcrossRow_AVX2, YUVToRGBARow_AVX2};
}

}  // namespace video
}  // namespace kelvo
