// The low-light row, written once over the 16-bit lane operations of
// vec16.h. Included by the row files of each instruction set only.
#pragma once

#include "effects/lowlight/cpu/lowlight_enhance_rows.h"
#include "cpu/vec16.h"
#include "effects/green_high_pass.h"
#include "effects/lowlight/lowlight_model.h"

namespace kelvo {
namespace video {
namespace {

// Fixed point: the lift in 1/8 levels (white 2040), the sharpening in 1/64
// (white 16320), which keeps every sum of the row inside 16 bits.
constexpr int kLiftWhite = 255 * 8;
constexpr int kSharpWhite = 255 * 64;
// Luma weights in 1/32768 times channels times 256: luma in 1/128 levels.
constexpr int16_t lumaWeight(float w) { return static_cast<int16_t>(w * 32768.0f + 0.5f); }
// The box sum's weight in 1/262144 times sums times 16: the mean in 1/64.
constexpr int16_t kNineTapFixed = static_cast<int16_t>(kNineTapWeight * 262144.0f + 0.5f);
// The band bounds in 1/64 levels: d < low holds for d <= kLowBound, and
// d <= mid for d <= kMidBound.
constexpr int16_t kLowBound = static_cast<int16_t>(kHighPassThresholdLow * 255.0f * 64.0f);
constexpr int16_t kMidBound = static_cast<int16_t>(kHighPassThresholdMid * 255.0f * 64.0f);

// Green of the three rows added, at O::N columns from x.
template <class O>
KELVO_CPU_INLINE void greenColumnPixels(const uint8_t* prev, const uint8_t* cur,
                                        const uint8_t* next, int x, uint16_t* out) {
    typename O::V r, g0, g1, g2, b;
    O::loadPixels3(prev + 4 * x, r, g0, b);
    O::loadPixels3(cur + 4 * x, r, g1, b);
    O::loadPixels3(next + 4 * x, r, g2, b);
    O::store16(out + x, O::add(O::add(g0, g1), g2));
}

// The table's sharpening weights as lanes, set once per row: the stores
// through bytes would otherwise reload them for every block.
template <class O>
struct LowlightWeights {
    typename O::V low, mid, high, quiet;
    explicit LowlightWeights(const LowlightGainTable& t)
        : low(O::set(t.sharpenLow)), mid(O::set(t.sharpenMid)), high(O::set(t.sharpenHigh)),
          quiet(O::set(t.sharpenQuiet)) {}
};

// The O::N pixels at x lifted, sharpened and written; sums holds the green
// column sums, sums[x + 1] that of x.
template <class O>
KELVO_CPU_INLINE void lowlightPixels(const uint8_t* cur, const uint16_t* sums, int x,
                                     const LowlightGainTable& t, const LowlightWeights<O>& w,
                                     uint8_t* dst) {
    using V = typename O::V;
    V c[3];
    O::loadPixels3(cur + 4 * x, c[0], c[1], c[2]);
    for (V& v : c) v = O::template slli<8>(v);
    const V luma = O::add(O::add(O::mulhiU(c[0], O::set(lumaWeight(kLowlightLuma[0]))),
                                 O::mulhiU(c[1], O::set(lumaWeight(kLowlightLuma[1])))),
                          O::mulhiU(c[2], O::set(lumaWeight(kLowlightLuma[2]))));
    V a, whiteLessB;
    O::lookup32(t.lift, O::template srli<3>(luma), a, whiteLessB);

    // The green high-pass of the input and its band's weight.
    const V sum = O::add(O::add(O::load16(sums + x), O::load16(sums + x + 1)),
                         O::load16(sums + x + 2));
    const V dif = O::sub(O::template srli<2>(c[1]),
                         O::mulhiU(O::template slli<4>(sum), O::set(kNineTapFixed)));
    const V weight =
        O::select(O::cmpgt(dif, O::set(kLowBound)),
                  O::select(O::cmpgt(dif, O::set(kMidBound)), w.high, w.mid),
                  O::select(O::cmpgt(dif, O::set(static_cast<int16_t>(-kLowBound - 1))), w.quiet,
                            w.low));
    const V hPassNeg = O::sub(O::set(0), O::add(dif, dif));

    // Worked on as white minus each value, which the table's white - b
    // gives for free: dark = white - min(a c + b, white).
    V out[3];
    for (int ch = 0; ch < 3; ++ch) {
        const V dark = O::subsU(whiteLessB, O::mulhiU(c[ch], a));
        const V dark64 = O::template slli<3>(dark);
        const V sharpDark =
            O::min(O::max(O::adds(dark64, hPassNeg), O::set(0)), O::set(kSharpWhite));
        // lifted + weight (sharp - lifted); a negative weight (the adaptive
        // quiet band) reaches past 0..255, which the store saturates as the
        // framebuffer clamps on the GL side.
        const V mixedDark = O::sub(dark, O::mulhi(O::sub(dark64, sharpDark), weight));
        out[ch] = O::template srai<3>(O::sub(O::set(kLiftWhite + 4), mixedDark));
    }
    O::storePixels4(dst + 4 * x, out[0], out[1], out[2], O::set(255));
}

template <class O>
void lowlightRow(const uint8_t* prev, const uint8_t* cur, const uint8_t* next, uint8_t* dst,
                 int width, const LowlightGainTable& t, uint16_t* sums) {
    if (width <= 0) return;
    // Column sums run ahead of the pixels, so that the rows stream in while
    // the pixels are worked on; the edge columns repeat as the sampler
    // clamps.
    constexpr int kLead = 2 * O::N;
    int c = 0;
    auto sumColumnsBelow = [&](int end) {
        if (end >= width) {
            for (; c + O::N <= width; c += O::N) greenColumnPixels<O>(prev, cur, next, c, sums + 1);
            for (; c < width; ++c) greenColumnPixels<ScalarOps16>(prev, cur, next, c, sums + 1);
            sums[width + 1] = sums[width];
        } else {
            for (; c + O::N <= end; c += O::N) greenColumnPixels<O>(prev, cur, next, c, sums + 1);
        }
    };
    sumColumnsBelow(kLead);
    sums[0] = sums[1];
    const LowlightWeights<O> w(t);
    const LowlightWeights<ScalarOps16> w1(t);
    int x = 0;
    for (; x + O::N <= width; x += O::N) {
        if (c < width) sumColumnsBelow(x + kLead);
        lowlightPixels<O>(cur, sums, x, t, w, dst);
    }
    if (c < width) sumColumnsBelow(width);
    for (; x < width; ++x) lowlightPixels<ScalarOps16>(cur, sums, x, t, w1, dst);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
