#include "cpu/vec.h"
#if KELVO_CPU_X86
#include "convert/color_space_rows.h"
#include "cpu/vec_avx2.h"
#include "cpu/yuv_output_kernel.h"

namespace kelvo {
namespace video {
namespace {

bool fitsWord(int32_t w, int32_t least) { return w >= least && w <= 32767; }

// The packed converters' integer rows compute these sums for RGBA8 (bytes
// R, G, B, A) whenever the weights are theirs: 16-bit, luma never negative
// (they shift luma unsigned) and the usual chroma bias. Other weights take
// the float kernel.
bool packedCoeffs(const YUVOutputCoeffs& c, PackedRowCoeffs* p) {
    for (int i = 0; i < 3; ++i) {
        if (!fitsWord(c.y[i], 0) || !fitsWord(c.u[i], -32768) || !fitsWord(c.v[i], -32768)) return false;
        p->y[i] = static_cast<int16_t>(c.y[i]);
        p->u[i] = static_cast<int16_t>(c.u[i]);
        p->v[i] = static_cast<int16_t>(c.v[i]);
    }
    p->y[3] = p->u[3] = p->v[3] = 0;  // alpha weighs nothing
    p->yBias = c.yBias;
    return c.uvBias == kYuvChromaBias;
}

}  // namespace

void RGBAToYRow_AVX2(const uint8_t* srcRGBA, uint8_t* dstY, int width, const YUVOutputCoeffs& c) {
    PackedRowCoeffs p;
    const int done = packedCoeffs(c, &p) ? packedRowToY_AVX2(srcRGBA, dstY, width, p) : 0;
    rgbaToYRow<AVX2Ops>(srcRGBA + 4 * done, dstY + done, width - done, c);
}

void RGBAToUVRow_AVX2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                      int width, const YUVOutputCoeffs& c) {
    PackedRowCoeffs p;
    const int done = packedCoeffs(c, &p) ? packedRowPairToUV_AVX2(src0, src1, dstU, dstV, width, p) : 0;
    rgbaToUVRow<AVX2Ops>(src0 + 4 * done, src1 + 4 * done, dstU + done / 2, dstV + done / 2, width - done, c);
}

}  // namespace video
}  // namespace kelvo
#endif
