#include "cpu/vec.h"
#if KELVO_CPU_X86
#include "cpu/vec_avx2.h"
#include "cpu/yuv_output_kernel.h"

namespace kelvo {
namespace video {

void RGBAToYRow_AVX2(const uint8_t* srcRGBA, uint8_t* dstY, int width, const YUVOutputCoeffs& c) {
    rgbaToYRow<AVX2Ops>(srcRGBA, dstY, width, c);
}

void RGBAToUVRow_AVX2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                      int width, const YUVOutputCoeffs& c) {
    rgbaToUVRow<AVX2Ops>(src0, src1, dstU, dstV, width, c);
}

}  // namespace video
}  // namespace kelvo
#endif
