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

// x times the split weight (w0, w1) in 32-bit lanes, as the pairs (128 x, x)
// of rgbaFromYUV take it (x within +-255, so 128 x stays 16-bit).
template <class O>
KELVO_CPU_INLINE void splitProduct(typename O::V x, const int16_t* w, typename O::V& lo,
                                   typename O::V& hi) {
    O::mulAdd32(O::template slli<7>(x), w[0], x, w[1], lo, hi);
}
// One lane holds the whole product: one multiply, and no left shift of a
// negative value.
template <>
KELVO_CPU_INLINE void splitProduct<ScalarOps16>(int32_t x, const int16_t* w, int32_t& lo,
                                                int32_t& hi) {
    lo = hi = x * (128 * w[0] + w[1]);
}

// Y'CbCr matrices have one luma weight for all three channels, no Cb in red
// and no Cr in blue: the luma product is taken once and the zero products
// not at all. The sums are rgbaFromYUV's, so are the bytes.
template <class O>
KELVO_CPU_INLINE void rgbaFromYUVSparse(uint8_t* px, typename O::V y, typename O::V u,
                                        typename O::V v, const FixedMatrix& k) {
    using V = typename O::V;
    V lumaLo, lumaHi, lo, hi, lo2, hi2;
    splitProduct<O>(y, k[0][0], lumaLo, lumaHi);
    const V round = O::set32(1 << (kFixedShift - 1));
    lumaLo = O::add32(lumaLo, round);
    lumaHi = O::add32(lumaHi, round);
    auto channel = [&](V chromaLo, V chromaHi) {
        return O::narrowS32(O::template srai32<kFixedShift>(O::add32(lumaLo, chromaLo)),
                            O::template srai32<kFixedShift>(O::add32(lumaHi, chromaHi)));
    };
    splitProduct<O>(v, k[0][2], lo, hi);
    const V red = channel(lo, hi);
    splitProduct<O>(u, k[1][1], lo, hi);
    splitProduct<O>(v, k[1][2], lo2, hi2);
    const V green = channel(O::add32(lo, lo2), O::add32(hi, hi2));
    splitProduct<O>(u, k[2][1], lo, hi);
    const V blue = channel(lo, hi);
    O::storePixels4(px, red, green, blue, O::set(255));
}

inline bool isSparseMatrix(const FixedMatrix& k) {
    auto zero = [](const int16_t* w) { return w[0] == 0 && w[1] == 0; };
    auto same = [](const int16_t* a, const int16_t* b) { return a[0] == b[0] && a[1] == b[1]; };
    return same(k[0][0], k[1][0]) && same(k[0][0], k[2][0]) && zero(k[0][1]) && zero(k[2][2]);
}

template <class O, bool kBlendLuma, bool kSparse>
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
    if (kSparse) {
        rgbaFromYUVSparse<O>(dst + 4 * x, y, chroma(r.u0, r.u1), chroma(r.v0, r.v1), f.k);
    } else {
        O::rgbaFromYUV(dst + 4 * x, y, chroma(r.u0, r.u1), chroma(r.v0, r.v1), f.k);
    }
}

template <class O, bool kBlendLuma, bool kSparse>
void yuvToRGBAPixelRow(const YUVInputLines& rows, uint8_t* dst, int width, const YUVInputFixed& f) {
    int x = 0;
    for (; x + O::N <= width; x += O::N) {
        yuvToRGBAPixels<O, kBlendLuma, kSparse>(rows, x, dst, f);
    }
    for (; x < width; ++x) {
        yuvToRGBAPixels<ScalarOps16, kBlendLuma, kSparse>(rows, x, dst, f);
    }
}

template <class O, bool kSparse>
void yuvToRGBALumaRow(const YUVInputLines& rows, uint8_t* dst, int width, const YUVInputFixed& f) {
    // Most rows sit on a luma texel centre.
    if (rows.lumaWeight == 0) {
        yuvToRGBAPixelRow<O, false, kSparse>(rows, dst, width, f);
    } else {
        yuvToRGBAPixelRow<O, true, kSparse>(rows, dst, width, f);
    }
}

template <class O>
void yuvToRGBARow(const YUVInputLines& rowsIn, uint8_t* dst, int width, const YUVInputFixed& fIn) {
    // Copies that the output bytes cannot alias, so they stay in registers.
    const YUVInputLines rows = rowsIn;
    const YUVInputFixed f = fIn;
    if (isSparseMatrix(f.k)) {
        yuvToRGBALumaRow<O, true>(rows, dst, width, f);
    } else {
        yuvToRGBALumaRow<O, false>(rows, dst, width, f);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
