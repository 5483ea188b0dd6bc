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
    return KELVO_ROW_FOR(path, RGBAToYRow);
}

RGBAToUVRowFn rgbaToUVRowFor(RowPath path) {
    return KELVO_ROW_FOR(path, RGBAToUVRow);
}

}  // namespace video
}  // namespace kelvo
