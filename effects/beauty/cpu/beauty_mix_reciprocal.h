// The reciprocal that the classic fixed-point beauty mix divides by, in
// 16-bit lanes: written over a 16-bit lane set (cpu/vec16.h) for the SIMD
// rows, and tabulated at compile time for the one-lane rows, which read it.
// Both give the same bits.
#pragma once

#include <cstdint>

#include "cpu/vec.h"

namespace kelvo::video {

// The classic fixed mix's smoothing weight divides by d = 2 a + 51 for the
// blurred departure a.
constexpr int kMixEdgeLow = 51, kMixEdgeHigh = 2 * 255 + 51;
// Its octaves' tangents to 2^20 / d, below the curve by at most 12 %: on
// [lo, hi) the one of whole slope -s nearest the middle's, which touches
// at t = 2^10 / sqrt(s) and starts at 2^21 / t = 2^11 sqrt(s).
constexpr int kMixOctaves = 4;
constexpr int kMixOctaveStart[kMixOctaves + 1] = {kMixEdgeLow, 2 * kMixEdgeLow, 4 * kMixEdgeLow,
                                                   8 * kMixEdgeLow, kMixEdgeHigh + 1};
constexpr int mixTangentSlope(int octave) {
    const double c = (kMixOctaveStart[octave] + kMixOctaveStart[octave + 1]) / 2.0;
    return static_cast<int>(1048576.0 / (c * c) + 0.5);
}
constexpr int mixTangentStart(int octave) {
    const int64_t v = (int64_t{1} << 22) * mixTangentSlope(octave);
    int64_t r = 0;  // floor(sqrt(v)), rounding the start down
    for (int64_t step = int64_t{1} << 16; step > 0; step >>= 1)
        if ((r + step) * (r + step) <= v) r += step;
    return static_cast<int>(r);
}
constexpr int16_t kMixTangentSlope[kMixOctaves] = {mixTangentSlope(0), mixTangentSlope(1),
                                                    mixTangentSlope(2), mixTangentSlope(3)};
constexpr int16_t kMixTangentStart[kMixOctaves] = {mixTangentStart(0), mixTangentStart(1),
                                                    mixTangentStart(2), mixTangentStart(3)};
static_assert(mixTangentSlope(0) * (kMixOctaveStart[1] - 1) < 32768 && mixTangentStart(0) < 32768,
              "tangents fit signed lanes");
// 2^20 / d for d within [kMixEdgeLow, kMixEdgeHigh], to about 5e-4: the tangent,
// a Newton step on the top bits of d x (within 1.6 % after it), and one
// on 2^20 - d x itself, whose low 16 bits it is once within 3 %.
template <class O, class L>
KELVO_CPU_INLINE constexpr L mixReciprocal(L d) {
    L start = O::set(kMixTangentStart[0]);
    L slope = O::set(kMixTangentSlope[0]);
    for (int o = 1; o < kMixOctaves; ++o) {
        const L above = O::cmpgt(d, O::set(static_cast<int16_t>(kMixOctaveStart[o] - 1)));
        start = O::select(above, O::set(kMixTangentStart[o]), start);
        slope = O::select(above, O::set(kMixTangentSlope[o]), slope);
    }
    L x = O::sub(start, O::mullo(slope, d));
    // d x / 2^10 is 1024 (1 - e) for x's shortfall e, and x (1 + e) the step.
    const L shortfall = O::sub(O::set(1024), O::mulhiU(O::template slli<6>(d), x));
    x = O::add(x, O::mulhi(x, O::template slli<6>(shortfall)));
    // x - x (d x - 2^20) / 2^20, d x - 2^20 as the product's low bits.
    return O::sub(x, O::template srai<4>(O::mulhi(x, O::mulloWrap(d, x))));
}
// The operations mixReciprocal() takes, as ScalarOps16 does them, at
// compile time.
struct MixConstantOps16 {
    using V = int32_t;  // as ScalarOps16::V
    static constexpr V set(int16_t x) { return x; }
    static constexpr V add(V a, V b) { return a + b; }
    static constexpr V sub(V a, V b) { return a - b; }
    static constexpr V mullo(V a, V b) { return a * b; }
    static constexpr V mulhi(V a, V b) { return (a * b) >> 16; }
    static constexpr V mulhiU(V a, V b) {
        return static_cast<V>((static_cast<uint32_t>(a) * static_cast<uint32_t>(b)) >> 16);
    }
    static constexpr V mulloWrap(V a, V b) {
        return static_cast<int16_t>(
            static_cast<uint16_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)));
    }
    static constexpr V cmpgt(V a, V b) { return a > b ? -1 : 0; }
    static constexpr V select(V m, V a, V b) { return m ? a : b; }
    template <int S>
    static constexpr V slli(V a) {
        return a << S;
    }
    template <int S>
    static constexpr V srai(V a) {
        return a >> S;
    }
};
// mixReciprocal() of each mean's alpha's divisor, which the one-lane rows
// read in place of the steps.
struct MixReciprocals {
    int16_t of[256];
};
constexpr MixReciprocals mixReciprocals() {
    MixReciprocals r{};
    for (int a = 0; a < 256; ++a)
        r.of[a] = static_cast<int16_t>(mixReciprocal<MixConstantOps16>(2 * a + kMixEdgeLow));
    return r;
}
constexpr MixReciprocals kMixReciprocals = mixReciprocals();

}  // namespace kelvo::video
