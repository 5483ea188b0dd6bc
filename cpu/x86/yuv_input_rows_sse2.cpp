#include "cpu/x86/yuv_input_rows_x86.h"
#include "cpu/vec16_sse2.h"
#include "cpu/yuv_input_kernel.h"

namespace kelvo {
namespace video {

void ChromaAcrossRow_SSE2(const uint8_t* padded, uint8_t* out, int width) {
    chromaAcrossRow<SSE2Ops16>(padded, out, width);
}

void YUVToRGBARow_SSE2(const YUVInputLines& rows, uint8_t* dstRGBA, int width,
                       const YUVInputFixed& k) {
    yuvToRGBARow<SSE2Ops16>(rows, dstRGBA, width, k);
}

}  // namespace video
}  // namespace kelvo
