// The YUV input row, written once over the lane operations of vec.h.
// Included by the portable, SSE2 and AVX2 row files only.
#pragma once

#include "cpu/vec.h"
#include "cpu/yuv_input_rows.h"

namespace kelvo {
namespace video {
namespace {

template <class O>
void yuvToRGBAPixels(const uint8_t* y, const float* u, const float* v, uint8_t* dst,
                     const YUVInputRowParams& p) {
    using F = typename O::F;
    const float off = p.rangeOffset;
    const float* m = p.matrix;
    // Texel fetches of unorm8 textures: value / 255.
    F yv = vclamp<O>(O::loadU8(y) * O::set(1.0f / 255.0f) - O::set(off), -off, 1.0f);
    F cb = vclamp<O>(O::loadf(u) * O::set(1.0f / 255.0f) - O::set(p.chromaOffset), -0.5f, 0.5f);
    F cr = vclamp<O>(O::loadf(v) * O::set(1.0f / 255.0f) - O::set(p.chromaOffset), -0.5f, 0.5f);
    F r = yv * O::set(m[0]) + cb * O::set(m[1]) + cr * O::set(m[2]);
    F g = yv * O::set(m[3]) + cb * O::set(m[4]) + cr * O::set(m[5]);
    F b = yv * O::set(m[6]) + cb * O::set(m[7]) + cr * O::set(m[8]);
    O::storeRGBA(dst, toUnorm8<O>(r), toUnorm8<O>(g), toUnorm8<O>(b));
}

template <class O>
void yuvToRGBARow(const uint8_t* y, const float* u, const float* v, uint8_t* dst, int width,
                  const YUVInputRowParams& p) {
    int x = 0;
    for (; x + O::N <= width; x += O::N) {
        yuvToRGBAPixels<O>(y + x, u + x, v + x, dst + 4 * x, p);
    }
    for (; x < width; ++x) {
        yuvToRGBAPixels<ScalarOps>(y + x, u + x, v + x, dst + 4 * x, p);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
