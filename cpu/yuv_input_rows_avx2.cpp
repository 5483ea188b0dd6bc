#include "cpu/vec.h"
#if KELVO_CPU_X86
#include "cpu/vec_avx2.h"
#include "cpu/yuv_input_kernel.h"

namespace kelvo {
namespace video {

void YUVToRGBARow_AVX2(const uint8_t* y, const float* u, const float* v, uint8_t* dstRGBA,
                       int width, const YUVInputRowParams& p) {
    yuvToRGBARow<AVX2Ops>(y, u, v, dstRGBA, width, p);
}

}  // namespace video
}  // namespace kelvo
#endif
