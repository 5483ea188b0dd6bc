// The denoiser's block kernels written once over a 16-bit lane set
// (cpu/vec16.h). A 16-wide block row is one byte vector (2N = 16), two
// rows (2N = 32, a half each) or 16 / 2N vectors (2N < 16); each lane
// computes what DenoiserFilterC computes for its sample. Include after the
// lane set's header.
#pragma once

#include "cpu/vec16.h"
#include "denoise/denoiser_filter.h"
#include "denoise/denoiser_model.h"

namespace kelvo {
namespace video {
namespace {

// How the byte vectors of a set tile a 16x16 block.
template <class O>
struct BlockTiles {
    static_assert(O::N <= 16, "a byte vector holds at most two block rows");
    static constexpr int kRows = 2 * O::N > 16 ? 2 : 1;                   // block rows per vector
    static constexpr int kColumns = 2 * O::N < 16 ? 16 / (2 * O::N) : 1;  // vectors per row

    static typename O::B load(const uint8_t* p, int stride, int column) {
        if constexpr (kRows == 2) {
            (void)column;
            return O::loadU8Halves(p, p + stride);
        } else {
            (void)stride;
            return O::loadU8(p + column * 2 * O::N);
        }
    }
    static void store(uint8_t* p, int stride, int column, typename O::B v) {
        if constexpr (kRows == 2) {
            (void)column;
            O::storeU8Halves(p, p + stride, v);
        } else {
            (void)stride;
            O::storeU8(p + column * 2 * O::N, v);
        }
    }
};

template <class O>
void copyBlock16x16Rows(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) {
    using T = BlockTiles<O>;
    for (int y = 0; y < 16; y += T::kRows) {
        for (int c = 0; c < T::kColumns; ++c)
            T::store(dst, dstStride, c, T::load(src, srcStride, c));
        src += T::kRows * srcStride;
        dst += T::kRows * dstStride;
    }
}

template <class O>
uint32_t variance16x8Rows(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                          uint32_t* sse) {
    using V = typename O::V;
    static_assert(O::N <= 16, "one row is at least one vector");
    // 16-bit lanes hold at most 16 differences of +-255: no overflow.
    V sum = O::set(0), squares = O::set(0);
    auto add = [&](V d) {
        sum = O::add(sum, d);
        squares = O::add32(squares, O::madd(d, d));
    };
    for (int y = 0; y < 8; ++y) {
        if constexpr (2 * O::N <= 16) {
            for (int x = 0; x < 16; x += 2 * O::N) {
                V aLo, aHi, bLo, bHi;
                O::widenU8(O::loadU8(a + x), aLo, aHi);
                O::widenU8(O::loadU8(b + x), bLo, bHi);
                add(O::sub(aLo, bLo));
                add(O::sub(aHi, bHi));
            }
        } else {
            add(O::sub(O::load8(a), O::load8(b)));
        }
        a += 2 * aStride;
        b += 2 * bStride;
    }
    const int total = O::hsum16(sum);
    const uint32_t sq = static_cast<uint32_t>(O::hsum32(squares));
    if (sse) *sse = sq;
    const int64_t sum2 = static_cast<int64_t>(total) * total;
    return sq - static_cast<uint32_t>(sum2 >> 7);
}

template <class O>
BlockDecision denoiseBlockRows(const uint8_t* reference, int referenceStride, uint8_t* out,
                               int outStride, const uint8_t* source, int sourceStride, int motion,
                               int strong, int* sumDiff) {
    using V = typename O::V;
    using B = typename O::B;
    using T = BlockTiles<O>;
    (void)motion;
    const int s = strong ? 1 : 0;
    const int step = s * kDenoiserStrongStep;
    const B zero = O::set8(0);
    const B smallLimit = O::set8(static_cast<uint8_t>(kDenoiserStillLimit + step));
    const B seven = O::set8(kDenoiserBandLimits[0]);
    const B fifteen = O::set8(kDenoiserBandLimits[1]);
    const B largest = O::set8(static_cast<uint8_t>(kDenoiserAdjustments[2] + step));
    // The steps down from the largest adjustment to the band's.
    const B one = O::set8(kDenoiserAdjustments[1] - kDenoiserAdjustments[0]);
    const B two = O::set8(kDenoiserAdjustments[2] - kDenoiserAdjustments[1]);

    // Column sums, 16-bit, of the lanes each vector's halves widen to.
    V sums[2 * T::kColumns];
    for (V& v : sums) v = O::set(0);
    for (int y = 0; y < 16; y += T::kRows) {
        for (int c = 0; c < T::kColumns; ++c) {
            const B r = T::load(reference, referenceStride, c);
            const B x = T::load(source, sourceStride, c);
            const B down = O::subsU8(x, r);
            const B ad = O::absDiffU8(r, x);
            const B small = O::leU8(ad, smallLimit);
            // 7+s, then 5+s up to 15, then 4+s up to 7.
            const B adjust = O::sub8(O::sub8(largest, O::and8(O::leU8(ad, fifteen), two)),
                                     O::and8(O::leU8(ad, seven), one));
            // Outside the small band d != 0, so "not below" means the reference is brighter.
            const B brighter = O::eq8(down, zero);
            // Saturation gives the clamps to 255 and 0.
            const B moved = O::select8(brighter, O::addsU8(x, adjust), O::subsU8(x, adjust));
            T::store(out, outStride, c, O::select8(small, r, moved));
            // Contributions lie in -8..8, so signed bytes hold them exactly.
            const B contribution = O::select8(small, O::sub8(r, x),
                                              O::select8(brighter, adjust, O::sub8(zero, adjust)));
            V lo, hi;
            O::widenS8(contribution, lo, hi);
            sums[2 * c] = O::add(sums[2 * c], lo);
            sums[2 * c + 1] = O::add(sums[2 * c + 1], hi);
        }
        reference += T::kRows * referenceStride;
        source += T::kRows * sourceStride;
        out += T::kRows * outStride;
    }
    // Whole column sums first, then the cap, as the portable code does.
    const V cap = O::set(kDenoiserColumnSumCap);
    V capped;
    if constexpr (T::kRows == 2) {
        capped = O::min(O::add(sums[0], sums[1]), cap);
    } else {
        capped = O::min(sums[0], cap);
        for (int k = 1; k < 2 * T::kColumns; ++k) capped = O::add(capped, O::min(sums[k], cap));
    }
    const int blockSum = O::hsum16(capped);
    const int diff = blockSum < 0 ? -blockSum : blockSum;
    if (sumDiff) *sumDiff = diff;
    return diff > denoiserCopyLimit(s) ? kCopyBlock : kFilterBlock;
}

}  // namespace
}  // namespace video
}  // namespace kelvo
