#include "cpu/yuv_input_kernel.h"

namespace kelvo {
namespace video {

void YUVToRGBARow_C(const uint8_t* y, const float* u, const float* v, uint8_t* dstRGBA,
                    int width, const YUVInputRowParams& p) {
    yuvToRGBARow<ScalarOps>(y, u, v, dstRGBA, width, p);
}

YUVToRGBARowFn yuvToRGBARowFor(RowPath path) {
#if KELVO_CPU_X86
    if (path == RowPath::kAVX2 && rowPathSupported(path)) return YUVToRGBARow_AVX2;
    if (path == RowPath::kSSE2 && rowPathSupported(path)) return YUVToRGBARow_SSE2;
#else
    (void)path;
#endif
    return YUVToRGBARow_C;
}

}  // namespace video
}  // namespace kelvo
