#include "cpu/yuv_output_kernel.h"

namespace kelvo {
namespace video {

void RGBAToYRow_C(const uint8_t* srcRGBA, uint8_t* dstY, int width, const YUVOutputCoeffs& c) {
    rgbaToYRow<ScalarOps>(srcRGBA, dstY, width, c);
}

void RGBAToUVRow_C(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                   int width, const YUVOutputCoeffs& c) {
    rgbaToUVRow<ScalarOps>(src0, src1, dstU, dstV, width, c);
}

RGBAToYRowFn rgbaToYRowFor(RowPath path) {
#if KELVO_CPU_X86
    if (path == RowPath::kAVX2 && rowPathSupported(path)) return RGBAToYRow_AVX2;
    if (path == RowPath::kSSE2 && rowPathSupported(path)) return RGBAToYRow_SSE2;
#else
    (void)path;
#endif
    return RGBAToYRow_C;
}

RGBAToUVRowFn rgbaToUVRowFor(RowPath path) {
#if KELVO_CPU_X86
    if (path == RowPath::kAVX2 && rowPathSupported(path)) return RGBAToUVRow_AVX2;
    if (path == RowPath::kSSE2 && rowPathSupported(path)) return RGBAToUVRow_SSE2;
#else
    (void)path;
#endif
    return RGBAToUVRow_C;
}

}  // namespace video
}  // namespace kelvo
