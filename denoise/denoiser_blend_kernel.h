// The denoiser's block blends written once over a 16-bit lane set O and the
// 32-bit set F of the same width (cpu/vec16.h, cpu/vec.h), tiled as the
// block kernels (denoiser_filter_kernel.h). Equal to the portable blends for
// every pair of samples. Include after the lane sets' headers.
#pragma once

#include "cpu/vec.h"
#include "denoise/denoiser_blend.h"
#include "denoise/denoiser_filter_kernel.h"
#include "denoise/denoiser_model.h"

namespace kelvo {
namespace video {
namespace {

template <class O>
void blendMovingRows(const uint8_t* reference, int referenceStride, const uint8_t* source,
                     int sourceStride, uint8_t* out, int outStride) {
    // truncate(0.1 r + 0.9 s) in double equals (r + 9 s) / 10 for all 8-bit
    // pairs, and (v * 6554) >> 16 is v / 10 for v up to 2550.
    static_assert(kDenoiserMovingReferenceWeight == 0.1 && kDenoiserMovingSourceWeight == 0.9,
                  "the integer form below is that of these weights");
    using V = typename O::V;
    using T = BlockTiles<O>;
    const V tenth = O::set(6554);
    for (int y = 0; y < 16; y += T::kRows) {
        for (int c = 0; c < T::kColumns; ++c) {
            V r[2], s[2];
            O::widenU8(T::load(reference, referenceStride, c), r[0], r[1]);
            O::widenU8(T::load(source, sourceStride, c), s[0], s[1]);
            V o[2];
            for (int h = 0; h < 2; ++h)
                o[h] = O::mulhiU(O::add(r[h], O::add(O::template slli<3>(s[h]), s[h])), tenth);
            T::store(out, outStride, c, O::narrowU8(o[0], o[1]));
        }
        reference += T::kRows * referenceStride;
        source += T::kRows * sourceStride;
        out += T::kRows * outStride;
    }
}

// The static blend of the 32-bit lanes r, s for a weight w in (0.5, 1]. The
// portable row truncates s (1 - w) + r w in double, with r w a float
// product: for such weights both terms are multiples of 2^-24 below 256, so
// their double sum is exact. Here s (1 - w) 2^24 = s C is an integer, from
// two exact float products (C in halves of 12 bits), and r w is split into
// its whole part and its fraction in units of 2^-24, whose sum with s C
// stays below 2^31 (kMaxStaticC).
constexpr int32_t kMaxStaticC = ((int64_t{1} << 31) - (1 << 24)) / 255;

template <class F>
KELVO_CPU_INLINE typename F::I staticBlendLanes(typename F::I r, typename F::I s, typename F::F w,
                                                typename F::F cHigh, typename F::F cLow) {
    using I = typename F::I;
    const typename F::F sf = F::cvtf(s);
    const I sc = F::addi(F::template slli<12>(F::cvtt(sf * cHigh)), F::cvtt(sf * cLow));
    const typename F::F product = F::cvtf(r) * w;
    const I whole = F::cvtt(product);
    const I fraction = F::cvtt((product - F::cvtf(whole)) * F::set(16777216.0f));
    return F::addi(whole, F::template srli<24>(F::addi(sc, fraction)));
}

template <class O, class F>
void blendStaticRows(const uint8_t* reference, int referenceStride, const uint8_t* source,
                     int sourceStride, uint8_t* out, int outStride, float staticWeight) {
    using V = typename O::V;
    using B = typename O::B;
    using T = BlockTiles<O>;
    static_assert(F::N * 2 == O::N || (F::N == 1 && O::N == 1), "sets of one width");
    if (staticWeight == 0.5f) {
        // Both products are exact halves and so is their sum: (r + s) >> 1.
        for (int y = 0; y < 16; y += T::kRows) {
            for (int c = 0; c < T::kColumns; ++c)
                T::store(out, outStride, c,
                         O::avgFloorU8(T::load(reference, referenceStride, c),
                                       T::load(source, sourceStride, c)));
            reference += T::kRows * referenceStride;
            source += T::kRows * sourceStride;
            out += T::kRows * outStride;
        }
        return;
    }
    // 1 - w, exact for these weights, in units of 2^-24.
    const int32_t c = staticWeight >= 0.5f && staticWeight <= 1.0f
                          ? static_cast<int32_t>((1.0f - staticWeight) * 16777216.0f)
                          : -1;
    if (c < 0 || c > kMaxStaticC) {
        // Below 0.5 the terms need finer units, just above it their sum
        // 32 bits, and outside 0..1 (NaN too) results wrap in the portable
        // cast: all left to it.
        blendStaticBlock16x16(reference, referenceStride, source, sourceStride, out, outStride,
                              staticWeight);
        return;
    }
    const typename F::F w = F::set(staticWeight), cHigh = F::set(static_cast<float>(c >> 12)),
                        cLow = F::set(static_cast<float>(c & 4095));
    for (int y = 0; y < 16; y += T::kRows) {
        for (int col = 0; col < T::kColumns; ++col) {
            const B r8 = T::load(reference, referenceStride, col);
            const B s8 = T::load(source, sourceStride, col);
            V r[2], s[2], o[2];
            O::widenU8(r8, r[0], r[1]);
            O::widenU8(s8, s[0], s[1]);
            for (int h = 0; h < 2; ++h) {
                V r32[2], s32[2];
                O::widenU16(r[h], r32[0], r32[1]);
                O::widenU16(s[h], s32[0], s32[1]);
                o[h] = O::narrowS32(staticBlendLanes<F>(r32[0], s32[0], w, cHigh, cLow),
                                    staticBlendLanes<F>(r32[1], s32[1], w, cHigh, cLow));
            }
            T::store(out, outStride, col, O::narrowU8(o[0], o[1]));
        }
        reference += T::kRows * referenceStride;
        source += T::kRows * sourceStride;
        out += T::kRows * outStride;
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
