#include "cpu/vec.h"
#if KELVO_CPU_X86
#include "cpu/vec_sse2.h"
#include "cpu/yuv_input_kernel.h"

namespace kelvo {
namespace video {

void YUVToRGBARow_SSE2(const uint8_t* y, const float* u, const float* v, uint8_t* dstRGBA,
                       int width, const YUVInputRowParams& p) {
    yuvToRGBARow<SSE2Ops>(y, u, v, dstRGBA, width, p);
}

}  // namespace video
}  // namespace kelvo
#endif
