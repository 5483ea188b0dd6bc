// The low-light row, written once over the lane operations of vec.h.
// Included by the portable, SSE2 and AVX2 row files only.
#pragma once

#include "effects/lowlight/cpu/lowlight_enhance_rows.h"
#include "cpu/vec.h"
#include "effects/lowlight/lowlight_model.h"

namespace kelvo {
namespace video {
namespace {

// Green of the three rows added, times 256, at O::N columns from x: exact
// integers, added as such.
template <class O>
KELVO_CPU_INLINE void greenColumnPixels(const uint8_t* prev, const uint8_t* cur,
                                        const uint8_t* next, int x, int32_t* out) {
    // Green times 256: masked in place, not shifted out.
    auto green256 = [](const uint8_t* px) { return O::andi(O::loadi(px), 0xff00); };
    O::storei(out + x, O::addi(O::addi(green256(prev + 4 * x), green256(cur + 4 * x)),
                               green256(next + 4 * x)));
}

// O::N pixels at x, read and lifted: channels in 0..255 and the lift that
// applies to them, (gain (c + y) + (c - y)) / 2 in the same units.
template <class O>
struct LowlightLift {
    typename O::F r, g, b, liftC, liftY;
};

// The lift and the sharpening below are the shader's, rearranged to fewer
// operations.
template <class O>
KELVO_CPU_INLINE LowlightLift<O> lowlightLift(const uint8_t* cur, int x,
                                              const LowlightGainTable& t) {
    using F = typename O::F;
    LowlightLift<O> l;
    O::loadRGB(cur + 4 * x, l.r, l.g, l.b);
    // Luma y in table steps, y kSteps, computed with every factor scaled by
    // kSteps: a power of two, which leaves each rounding as it was, so pos
    // is exactly y kSteps, and pos < 0.9 kSteps exactly when y < 0.9. At
    // most kSteps by a rounding, which the table's last entry covers.
    constexpr float kSteps = static_cast<float>(LowlightGainTable::kSteps);
    const F pos = O::set(kLowlightLuma[0] / 255.0f * kSteps) * l.r +
                  O::set(kLowlightLuma[1] / 255.0f * kSteps) * l.g +
                  O::set(kLowlightLuma[2] / 255.0f * kSteps) * l.b;
    const auto i = O::cvtt(pos);
    typename O::I at, step;
    O::gather64(t.gainStep, i, at, step);
    const F curve = O::fromBits(at) + (pos - O::cvtf(i)) * O::fromBits(step);
    const F gain = O::select(O::lt(pos, O::set(static_cast<float>(kLowlightKnee) * kSteps)), curve,
                             O::set(1.0f));
    l.liftC = (gain + O::set(1.0f)) * O::set(0.5f);
    l.liftY = (gain - O::set(1.0f)) * O::set(127.5f / kSteps) * pos;
    return l;
}

// The pixels of l, at x, sharpened and written; sums holds the green column
// sums times 256, sums[x + 1] that of x.
template <class O>
KELVO_CPU_INLINE void lowlightFinish(const LowlightLift<O>& l, const int32_t* sums, int x,
                                     const LowlightGainTable& t, uint8_t* dst) {
    using F = typename O::F;
    // The green high-pass and the shader's sharpening: its two branches
    // meet in one clamp, as c + hPass stays on c's side of the bound it
    // would cross.
    const typename O::I s0 = O::loadi(sums + x), s1 = O::loadi(sums + x + 1),
                        s2 = O::loadi(sums + x + 2);
    // Sums below 2^24 convert exactly, and a power of two moved from the
    // sum to the factor leaves the product's rounding as it was.
    const F sum256 = O::cvtf(O::addi(O::addi(s0, s1), s2));
    const F dif = l.g - sum256 * O::set(kNineTapWeight / 256.0f);
    // The quiet part of the low band, |dif| below its bound, has a weight of
    // its own (the low band's unless adaptive).
    const F low = O::set(kHighPassThresholdLow * 255.0f);
    const F weight = O::select(O::lt(dif, low),
                               O::select(O::gt(dif, O::set(-kHighPassThresholdLow * 255.0f)),
                                         O::set(t.sharpenQuiet), O::set(t.sharpenLow)),
                               O::select(O::le(dif, O::set(kHighPassThresholdMid * 255.0f)),
                                         O::set(t.sharpenMid), O::set(t.sharpenHigh)));
    const F hPass = dif + dif;
    auto channel = [&](F c) {
        const F lifted = vclamp<O>(l.liftC * c + l.liftY, 0.0f, 255.0f);
        const F sharp = vclamp<O>(lifted + hPass, 0.0f, 255.0f);
        // A negative weight (the adaptive quiet band) reaches past 0..255,
        // which the framebuffer clamps on the GL side; a weight in 0..1
        // stays within, and the clamp leaves it as it was.
        return O::cvtt(vclamp<O>(lifted + weight * (sharp - lifted), 0.0f, 255.0f) + O::set(0.5f));
    };
    O::storeRGBA(dst + 4 * x, channel(l.r), channel(l.g), channel(l.b));
}

template <class O>
void lowlightRow(const uint8_t* prev, const uint8_t* cur, const uint8_t* next, uint8_t* dst,
                 int width, const LowlightGainTable& t, int32_t* sums) {
    if (width <= 0) return;
    // Column sums run kLead columns ahead of the pixels, so that the rows
    // stream in while the pixels are worked on; the edge columns repeat as
    // the sampler clamps.
    constexpr int kLead = 3 * O::N;
    int c = 0;
    auto sumColumnsBelow = [&](int end) {
        if (end >= width) {
            for (; c + O::N <= width; c += O::N) greenColumnPixels<O>(prev, cur, next, c, sums + 1);
            for (; c < width; ++c) greenColumnPixels<ScalarOps>(prev, cur, next, c, sums + 1);
            sums[width + 1] = sums[width];
        } else {
            for (; c + O::N <= end; c += O::N) greenColumnPixels<O>(prev, cur, next, c, sums + 1);
        }
    };
    sumColumnsBelow(kLead);
    sums[0] = sums[1];
    // Each block's table reads are issued a block ahead of its sharpening:
    // the two long dependency chains then overlap.
    int x = 0;
    if (width >= O::N) {
        LowlightLift<O> l = lowlightLift<O>(cur, 0, t);
        for (; x + 2 * O::N <= width; x += O::N) {
            if (c < width) sumColumnsBelow(x + kLead);
            const LowlightLift<O> ahead = lowlightLift<O>(cur, x + O::N, t);
            lowlightFinish<O>(l, sums, x, t, dst);
            l = ahead;
        }
        if (c < width) sumColumnsBelow(width);
        lowlightFinish<O>(l, sums, x, t, dst);
        x += O::N;
    }
    for (; x < width; ++x) {
        lowlightFinish<ScalarOps>(lowlightLift<ScalarOps>(cur, x, t), sums, x, t, dst);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
