// The strong denoiser's rows written once over a 16-bit lane set
// (cpu/vec16.h), 2N pixels a step; the samples after the last full step go
// through the portable rows. Include after the lane set's header.
#pragma once

#include "cpu/vec16.h"
#include "denoise/temporal_rows.h"

namespace kelvo {
namespace video {
namespace {

template <class O>
void temporalColumnSumsRow(const uint8_t* s0, const uint8_t* r0, const uint8_t* s1,
                           const uint8_t* r1, const uint8_t* s2, const uint8_t* r2, uint16_t* sum,
                           uint16_t* blur, int width, int accumulate) {
    using V = typename O::V;
    using B = typename O::B;
    int x = 0;
    for (; x + 2 * O::N <= width; x += 2 * O::N) {
        const B a0 = O::loadU8(s0 + x), a1 = O::loadU8(s1 + x), a2 = O::loadU8(s2 + x);
        V d0[2], d1[2], d2[2];
        O::widenU8(O::absDiffU8(a0, O::loadU8(r0 + x)), d0[0], d0[1]);
        O::widenU8(O::absDiffU8(a1, O::loadU8(r1 + x)), d1[0], d1[1]);
        O::widenU8(O::absDiffU8(a2, O::loadU8(r2 + x)), d2[0], d2[1]);
        for (int h = 0; h < 2; ++h) {
            uint16_t* at = sum + x + h * O::N;
            V d = O::add(O::add(d0[h], d1[h]), d2[h]);
            if (accumulate) d = O::add(d, O::load16(at));
            O::store16(at, d);
        }
        if (blur) {
            V w0[2], w1[2], w2[2];
            O::widenU8(a0, w0[0], w0[1]);
            O::widenU8(a1, w1[0], w1[1]);
            O::widenU8(a2, w2[0], w2[1]);
            for (int h = 0; h < 2; ++h)
                O::store16(blur + x + h * O::N, O::add(O::add(w0[h], w2[h]), O::add(w1[h], w1[h])));
        }
    }
    if (x + O::N <= width) {
        // N more in 16-bit lanes, so that at most N - 1 go to the portable row.
        const V a0 = O::load8(s0 + x), a1 = O::load8(s1 + x), a2 = O::load8(s2 + x);
        V d = O::add(O::add(O::absDiffU(a0, O::load8(r0 + x)), O::absDiffU(a1, O::load8(r1 + x))),
                     O::absDiffU(a2, O::load8(r2 + x)));
        if (accumulate) d = O::add(d, O::load16(sum + x));
        O::store16(sum + x, d);
        if (blur) O::store16(blur + x, O::add(O::add(a0, a2), O::add(a1, a1)));
        x += O::N;
    }
    if (x < width)
        columnSumsC(s0 + x, r0 + x, s1 + x, r1 + x, s2 + x, r2 + x, sum + x,
                    blur ? blur + x : nullptr, width - x, accumulate);
}

// Ramp constants as lanes.
template <class O>
struct TemporalRampLanes {
    explicit TemporalRampLanes(const TemporalRamp& ramp)
        : low(O::set(ramp.low)), span(O::set(ramp.span)), slope(O::set(ramp.slope)),
          minWeight(O::set(ramp.minWeight)),
          highMinusOne(O::set(static_cast<int16_t>(ramp.low + ramp.span - 1))),
          full(O::set(kTemporalWeightOne)), zero(O::set(0)) {}
    typename O::V low, span, slope, minWeight, highMinusOne, full, zero;
};

// Weights of N pixels from the sums around them, as 16-bit lanes.
template <class O>
KELVO_CPU_INLINE typename O::V temporalWeights(const uint16_t* sum, const TemporalRampLanes<O>& k) {
    using V = typename O::V;
    const V l2 = O::load16(sum - 2), l1 = O::load16(sum - 1), c = O::load16(sum),
            r1 = O::load16(sum + 1), r2 = O::load16(sum + 2);
    const V centre = O::add(l1, O::add(c, r1));
    const V m = O::max(O::max(O::add(l2, O::add(l1, c)), centre), O::add(c, O::add(r1, r2)));
    const V excess = O::min(O::max(O::sub(m, k.low), k.zero), k.span);
    const V ramped =
        O::add(k.minWeight, O::template srli<kTemporalSlopeBits>(O::mullo(excess, k.slope)));
    return O::select(O::cmpgt(m, k.highMinusOne), k.full, ramped);
}

template <class O>
void temporalWeightsRow(const uint16_t* sum, const uint8_t* floor, uint8_t* weight, int width,
                        const TemporalRamp& ramp) {
    const TemporalRampLanes<O> k(ramp);
    int x = 0;
    for (; x + 2 * O::N <= width; x += 2 * O::N) {
        typename O::B w =
            O::narrowU8(temporalWeights<O>(sum + x, k), temporalWeights<O>(sum + x + O::N, k));
        if (floor) w = O::maxU8(w, O::loadU8(floor + x));
        O::storeU8(weight + x, w);
    }
    if (x + O::N <= width) {
        typename O::V w = temporalWeights<O>(sum + x, k);
        if (floor) w = O::max(w, O::load8(floor + x));
        O::storeNarrowU8(weight + x, w);
        x += O::N;
    }
    if (x < width)
        temporalWeightsC(sum + x, floor ? floor + x : nullptr, weight + x, width - x, ramp);
}

template <class O>
void temporalBlendRow(const uint8_t* reference, const uint8_t* source, const uint16_t* blur,
                      int limit, const uint8_t* weight, uint8_t* out, int width) {
    using V = typename O::V;
    const V full = O::set(kTemporalWeightOne), half = O::set(kTemporalWeightOne / 2),
            rounding = O::set((1 << kTemporalBinomialBits) / 2),
            lim = O::set(static_cast<int16_t>(limit)),
            negLim = O::set(static_cast<int16_t>(-limit));
    // N pixels in 16-bit lanes.
    auto mix = [&](V r, V s, V w, const uint16_t* b) {
        if (blur) {
            // The source moved toward its binomial mean by at most limit.
            const V c = O::load16(b);
            const V mean = O::template srli<kTemporalBinomialBits>(
                O::add(O::add(O::load16(b - 1), O::load16(b + 1)), O::add(O::add(c, c), rounding)));
            s = O::add(s, O::min(O::max(O::sub(mean, s), negLim), lim));
        }
        const V sum = O::add(O::mullo(r, O::sub(full, w)), O::mullo(s, w));
        return O::template srli<kTemporalWeightBits>(O::add(sum, half));
    };
    int x = 0;
    for (; x + 2 * O::N <= width; x += 2 * O::N) {
        V r[2], s[2], w[2];
        O::loadWidenU8(reference + x, r[0], r[1]);
        O::loadWidenU8(source + x, s[0], s[1]);
        O::loadWidenU8(weight + x, w[0], w[1]);
        const uint16_t* b = blur ? blur + x : nullptr;
        O::storeU8(out + x, O::narrowU8(mix(r[0], s[0], w[0], b),
                                        mix(r[1], s[1], w[1], b ? b + O::N : nullptr)));
    }
    if (x + O::N <= width) {
        O::storeNarrowU8(out + x, mix(O::load8(reference + x), O::load8(source + x),
                                      O::load8(weight + x), blur ? blur + x : nullptr));
        x += O::N;
    }
    if (x < width)
        temporalBlendC(reference + x, source + x, blur ? blur + x : nullptr, limit, weight + x,
                       out + x, width - x);
}

template <class O>
void temporalMaxHalveRow(const uint8_t* a, const uint8_t* b, uint8_t* out, int width) {
    int x = 0;
    for (; x + 2 * O::N <= width; x += 2 * O::N) {
        const typename O::B v0 = O::maxU8(O::loadU8(a + 2 * x), O::loadU8(b + 2 * x));
        const typename O::B v1 =
            O::maxU8(O::loadU8(a + 2 * x + 2 * O::N), O::loadU8(b + 2 * x + 2 * O::N));
        O::storeU8(out + x, O::narrowU8(O::pairMaxU8(v0), O::pairMaxU8(v1)));
    }
    if (x < width) maxHalveC(a + 2 * x, b + 2 * x, out + x, width - x);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
