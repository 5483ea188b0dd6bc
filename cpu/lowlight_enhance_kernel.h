// The low-light row, written once over the lane operations of vec.h.
// Included by the portable, SSE2 and AVX2 row files only.
#pragma once

#include "cpu/lowlight_enhance_rows.h"
#include "cpu/vec.h"

#if KELVO_CPU_X86
#include <immintrin.h>
#endif

namespace kelvo {
namespace video {
namespace {

// A float store for each lane type (vec.h's sets load floats only).
KELVO_CPU_INLINE void storeLanes(float* p, float v) { *p = v; }
#if defined(__SSE2__)
KELVO_CPU_INLINE void storeLanes(float* p, __m128 v) { _mm_storeu_ps(p, v); }
#endif
#if defined(__AVX2__)
KELVO_CPU_INLINE void storeLanes(float* p, __m256 v) { _mm256_storeu_ps(p, v); }
#endif

// Green of the three rows added, at O::N columns from x: exact integers.
template <class O>
KELVO_CPU_INLINE void greenColumnPixels(const uint8_t* prev, const uint8_t* cur,
                                        const uint8_t* next, int x, float* out) {
    storeLanes(out + x, O::loadG(prev + 4 * x) + O::loadG(cur + 4 * x) + O::loadG(next + 4 * x));
}

// O::N pixels at x; sums holds the green column sums, sums[x + 1] that of x.
// Channels stay in 0..255 until lifted; the lift and the sharpening are the
// shader's, rearranged to fewer operations.
template <class O>
KELVO_CPU_INLINE void lowlightPixels(const uint8_t* cur, const float* sums, int x,
                                     uint8_t* dst, const LowlightGainTable& t) {
    using F = typename O::F;
    F r, g, b;
    O::loadRGB(cur + 4 * x, r, g, b);
    // At most 1 by a rounding, which the table's last entry covers.
    const F y = O::set(0.299f / 255.0f) * r + O::set(0.587f / 255.0f) * g +
                O::set(0.114f / 255.0f) * b;

    const F pos = y * O::set(static_cast<float>(LowlightGainTable::kSteps));
    const auto i = O::cvtt(pos);
    const F curve = O::gather(t.gain, i) + (pos - O::cvtf(i)) * O::gather(t.step, i);
    const F gain = O::select(O::lt(y, O::set(0.90f)), curve, O::set(1.0f));
    // (gain (c + y) + (c - y)) / 2, in 0..255 units as everything below.
    const F liftC = (gain + O::set(1.0f)) * O::set(0.5f);
    const F liftY = (gain - O::set(1.0f)) * O::set(127.5f) * y;

    // The green high-pass and the shader's sharpening: its two branches
    // meet in one clamp, as c + hPass stays on c's side of the bound it
    // would cross.
    const F sum = O::loadf(sums + x) + O::loadf(sums + x + 1) + O::loadf(sums + x + 2);
    const F dif = g - sum * O::set(0.1111f);
    const F weight = O::select(O::lt(dif, O::set(0.039216f * 255.0f)), O::set(0.4f),
                               O::select(O::le(dif, O::set(0.078431f * 255.0f)),
                                         O::set(0.8f), O::set(0.6f)));
    const F hPass = dif + dif;
    auto channel = [&](F c) {
        const F lifted = vclamp<O>(liftC * c + liftY, 0.0f, 255.0f);
        const F sharp = vclamp<O>(lifted + hPass, 0.0f, 255.0f);
        // Within 0..255 (but for a rounding above, which still gives 255).
        return O::cvtt(lifted + weight * (sharp - lifted) + O::set(0.5f));
    };
    O::storeRGBA(dst + 4 * x, channel(r), channel(g), channel(b));
}

template <class O>
void lowlightRow(const uint8_t* prev, const uint8_t* cur, const uint8_t* next, uint8_t* dst,
                 int width, const LowlightGainTable& t, float* sums) {
    if (width <= 0) return;
    // Column sums first, the edge columns repeated as the sampler clamps.
    int x = 0;
    for (; x + O::N <= width; x += O::N) greenColumnPixels<O>(prev, cur, next, x, sums + 1);
    for (; x < width; ++x) greenColumnPixels<ScalarOps>(prev, cur, next, x, sums + 1);
    sums[0] = sums[1];
    sums[width + 1] = sums[width];
    for (x = 0; x + O::N <= width; x += O::N) lowlightPixels<O>(cur, sums, x, dst, t);
    for (; x < width; ++x) lowlightPixels<ScalarOps>(cur, sums, x, dst, t);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
