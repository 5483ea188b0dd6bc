// The packed converters' rows written once over a 16-bit lane set of at
// least 4 lanes (cpu/vec16.h, its packed-pixel operations), 2N pixels a
// step; the rest of a row, odd last column included, goes through the
// portable rows. Multiply-adds on 16-bit channels give the portable rows'
// 32-bit sums exactly, and the saturating narrowings are their clamps to
// 0..255. Include after the lane set's header.
#pragma once

#include "convert/color_space_rows.h"
#include "cpu/vec16.h"

namespace kelvo {
namespace video {
namespace {

template <class O>
void packedRowToY(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c) {
    using V = typename O::V;
    static_assert(kIsPackedPixels16<O>, "the set holds no whole pixel");
    const V weights = O::repeat4(c.y);
    const V bias = O::set32(c.yBias);
    int x = 0;
    for (; x + 2 * O::N <= width; x += 2 * O::N, src += 8 * O::N) {
        V luma[4];
        for (int k = 0; k < 4; ++k)
            luma[k] = O::template srai32<8>(
                O::add32(O::dot4U8(O::loadU8(src + 2 * O::N * k), weights), bias));
        O::storeU8(dstY + x, O::narrowU8x4(luma[0], luma[1], luma[2], luma[3]));
    }
    PackedRowToY_C(src, dstY + x, width - x, c);
}

template <class O>
void packedRowPairToUV(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                       int width, const PackedRowCoeffs& c) {
    using V = typename O::V;
    static_assert(kIsPackedPixels16<O>, "the set holds no whole pixel");
    const V uWeights = O::repeat4(c.u);
    const V vWeights = O::repeat4(c.v);
    const V bias = O::set32(kYUVChromaBias);
    auto chroma = [&](V first, V second, V weights) {
        return O::template srai32<8>(O::add32(O::dot4(first, second, weights), bias));
    };
    int x = 0;
    for (; x + 2 * O::N <= width; x += 2 * O::N, src0 += 8 * O::N, src1 += 8 * O::N) {
        // The channel means of N 2x2 blocks.
        V means[4];
        for (int k = 0; k < 4; ++k)
            means[k] = O::template srli<2>(
                O::sum2x2U8(O::loadU8(src0 + 2 * O::N * k), O::loadU8(src1 + 2 * O::N * k)));
        O::storeU8Halves(dstU + x / 2, dstV + x / 2,
                         O::narrowU8x4(chroma(means[0], means[1], uWeights),
                                       chroma(means[2], means[3], uWeights),
                                       chroma(means[0], means[1], vWeights),
                                       chroma(means[2], means[3], vWeights)));
    }
    PackedRowPairToUV_C(src0, src1, dstU + x / 2, dstV + x / 2, width - x, c);
}

template <class O>
void yuvRowToPacked(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int width,
                    const YUVFixedDecode& decode, int r, int g, int b) {
    // A copy the stores to dst cannot alias, so that the weights stay in registers.
    const YUVFixedDecode k = decode;
    using V = typename O::V;
    static_assert(O::N % 2 == 0, "a chroma sample covers two lanes");
    const V yOffset = O::set(k.yOffset), chromaZero = O::set(128), one = O::set(1),
            zero = O::set(0);
    const int16_t ug = static_cast<int16_t>(-k.ug), vg = static_cast<int16_t>(-k.vg);
    auto channel = [](V lumaLo, V lumaHi, V lo, V hi) {
        return O::narrowS32(O::template srai32<12>(O::add32(lumaLo, lo)),
                            O::template srai32<12>(O::add32(lumaHi, hi)));
    };
    int x = 0;
    for (; x + O::N <= width; x += O::N, dst += 4 * O::N) {
        const V luma = O::sub(O::load8(y + x), yOffset);
        const V cb = O::sub(O::load8Doubled(u + x / 2), chromaZero);
        const V cr = O::sub(O::load8Doubled(v + x / 2), chromaZero);
        // + 2048: round to nearest.
        V lumaLo, lumaHi, lo, hi, c[4];
        O::mulAdd32(luma, k.y, one, 2048, lumaLo, lumaHi);
        O::mulAdd32(cr, k.vr, zero, 0, lo, hi);
        c[r] = channel(lumaLo, lumaHi, lo, hi);
        O::mulAdd32(cb, ug, cr, vg, lo, hi);
        c[g] = channel(lumaLo, lumaHi, lo, hi);
        O::mulAdd32(cb, k.ub, zero, 0, lo, hi);
        c[b] = channel(lumaLo, lumaHi, lo, hi);
        c[6 - r - g - b] = zero;
        O::storePixels4(dst, c[0], c[1], c[2], c[3]);
    }
    YUVRowToPacked_C(y + x, u + x / 2, v + x / 2, dst, width - x, decode, r, g, b);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
