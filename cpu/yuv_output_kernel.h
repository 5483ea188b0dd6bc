// The output-conversion rows, written once over the lane operations of
// vec.h. Integer formulas are evaluated in float, where every product and
// sum is an exact integer, so the results are those of the integer
// arithmetic. Included by the portable, SSE2 and AVX2 row files only.
#pragma once

#include "cpu/vec.h"
#include "cpu/yuv_output_rows.h"

namespace kelvo {
namespace video {
namespace {

// (c0 r + c1 g + c2 b + bias) >> 8, clamped to 0..255.
template <class O>
typename O::I weighted8(typename O::F r, typename O::F g, typename O::F b, const int32_t* c,
                        int32_t bias) {
    typename O::F sum = r * O::set(static_cast<float>(c[0])) +
                        g * O::set(static_cast<float>(c[1])) +
                        b * O::set(static_cast<float>(c[2])) + O::set(static_cast<float>(bias));
    return O::cvtt(vclamp<O>(vfloor<O>(sum * O::set(1.0f / 256.0f)), 0.0f, 255.0f));
}

template <class O>
void rgbaToYRow(const uint8_t* src, uint8_t* dst, int width, const YUVOutputCoeffs& c) {
    int x = 0;
    for (; x + O::N <= width; x += O::N) {
        typename O::F r, g, b;
        O::loadRGB(src + 4 * x, r, g, b);
        O::storeU8(dst + x, weighted8<O>(r, g, b, c.y, c.yBias));
    }
    for (; x < width; ++x) {
        float r, g, b;
        ScalarOps::loadRGB(src + 4 * x, r, g, b);
        ScalarOps::storeU8(dst + x, weighted8<ScalarOps>(r, g, b, c.y, c.yBias));
    }
}

template <class O>
void storeUV(typename O::F sr, typename O::F sg, typename O::F sb, float scale, uint8_t* u,
             uint8_t* v, const YUVOutputCoeffs& c) {
    // Truncated means of the block.
    typename O::F r = vfloor<O>(sr * O::set(scale));
    typename O::F g = vfloor<O>(sg * O::set(scale));
    typename O::F b = vfloor<O>(sb * O::set(scale));
    O::storeU8(u, weighted8<O>(r, g, b, c.u, c.uvBias));
    O::storeU8(v, weighted8<O>(r, g, b, c.v, c.uvBias));
}

template <class O>
void rgbaToUVRow(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                 int width, const YUVOutputCoeffs& c) {
    const int pairs = width / 2;
    int k = 0;
    for (; k + O::N <= pairs; k += O::N) {
        typename O::F r, g, b;
        O::pairSumsRGB(src0 + 8 * k, src1 + 8 * k, r, g, b);
        storeUV<O>(r, g, b, 0.25f, dstU + k, dstV + k, c);
    }
    for (; k < pairs; ++k) {
        float r, g, b;
        ScalarOps::pairSumsRGB(src0 + 8 * k, src1 + 8 * k, r, g, b);
        storeUV<ScalarOps>(r, g, b, 0.25f, dstU + k, dstV + k, c);
    }
    if (width & 1) {
        const uint8_t* p0 = src0 + 8 * k;
        const uint8_t* p1 = src1 + 8 * k;
        storeUV<ScalarOps>(static_cast<float>(p0[0] + p1[0]), static_cast<float>(p0[1] + p1[1]),
                           static_cast<float>(p0[2] + p1[2]), 0.5f, dstU + k, dstV + k, c);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
