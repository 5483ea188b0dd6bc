// The YUV input rows, written once over the lane operations of vec16.h.
// Included by the portable and instruction-set row files only.
#pragma once

#include "cpu/vec16.h"
#include "cpu/yuv_input_rows.h"

namespace kelvo {
namespace video {
namespace {

template <class O>
KELVO_CPU_INLINE void chromaAcrossPixels(const uint8_t* padded, int k, uint8_t* out) {
    using V = typename O::V;
    const V p0 = O::load8(padded + k), p1 = O::load8(padded + k + 1), p2 = O::load8(padded + k + 2);
    O::storeInterleaved8(out + 2 * k, blend8<O>(p0, p1, O::set(64), O::set(192)),
                         blend8<O>(p1, p2, O::set(192), O::set(64)));
}

template <class O>
void chromaAcrossRow(const uint8_t* padded, uint8_t* out, int width) {
    int k = 0;
    for (; 2 * (k + O::N) <= width; k += O::N) {
        chromaAcrossPixels<O>(padded, k, out);
    }
    for (; 2 * k + 1 < width; ++k) {
        chromaAcrossPixels<ScalarOps16>(padded, k, out);
    }
    if (width & 1) {
        out[width - 1] =
            static_cast<uint8_t>(blend8<ScalarOps16>(padded[k], padded[k + 1], 64, 192));
    }
}

template <class O, bool kBlendLuma>
KELVO_CPU_INLINE void yuvToRGBAPixels(const YUVInputLines& r, int x, uint8_t* dst,
                                      const YUVInputFixed& f) {
    using V = typename O::V;
    const V yw1 = O::set(static_cast<int16_t>(r.lumaWeight));
    const V yw0 = O::set(static_cast<int16_t>(256 - r.lumaWeight));
    const V cw1 = O::set(static_cast<int16_t>(r.chromaWeight));
    const V cw0 = O::set(static_cast<int16_t>(256 - r.chromaWeight));
    const V y0 = O::load8(r.y0 + x);
    const V y =
        O::sub(kBlendLuma ? blend8<O>(y0, O::load8(r.y1 + x), yw0, yw1) : y0, O::set(f.lumaOffset));
    auto chroma = [&](const uint8_t* a, const uint8_t* b) {
        const V c = O::template slli<1>(blend8<O>(O::load8(a + x), O::load8(b + x), cw0, cw1));
        return O::min(O::max(O::sub(c, O::set(f.chromaOffset)), O::set(-255)), O::set(255));
    };
    O::rgbaFromYUV(dst + 4 * x, y, chroma(r.u0, r.u1), chroma(r.v0, r.v1), f.k);
}

template <class O, bool kBlendLuma>
void yuvToRGBAPixelRow(const YUVInputLines& rows, uint8_t* dst, int width, const YUVInputFixed& f) {
    int x = 0;
    for (; x + O::N <= width; x += O::N) {
        yuvToRGBAPixels<O, kBlendLuma>(rows, x, dst, f);
    }
    for (; x < width; ++x) {
        yuvToRGBAPixels<ScalarOps16, kBlendLuma>(rows, x, dst, f);
    }
}

template <class O>
void yuvToRGBARow(const YUVInputLines& rowsIn, uint8_t* dst, int width, const YUVInputFixed& fIn) {
    // Copies that the output bytes cannot alias, so they stay in registers.
    const YUVInputLines rows = rowsIn;
    const YUVInputFixed f = fIn;
    // Most rows sit on a luma texel centre.
    if (rows.lumaWeight == 0) {
        yuvToRGBAPixelRow<O, false>(rows, dst, width, f);
    } else {
        yuvToRGBAPixelRow<O, true>(rows, dst, width, f);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
