// Row kernels of the denoiser's strong level: a per-pixel motion-adaptive
// recursive filter. Each row function works on one row of `width` samples and
// allocates nothing; all arithmetic is integer, so every variant gives the
// same bytes as the portable one (the tests demand it on random rows with
// odd widths and unaligned pointers).
//
// Weights are in 1/128 units: 0 keeps the reference (previous output), 128
// takes the source (current input) as it is.
#pragma once

#include <cstdint>

#include "system/cpu_features.h"

namespace kelvo {
namespace video {

// The fixed point of every variant: weights in 1 / 2^kTemporalWeightBits,
// ramp slopes in 1 / 2^kTemporalSlopeBits, and the 3x3 binomial mean's
// weights summing to 2^kTemporalBinomialBits (each rounded to nearest).
constexpr int kTemporalWeightBits = 7;
constexpr int kTemporalWeightOne = 1 << kTemporalWeightBits;  // 128
constexpr int kTemporalSlopeBits = 8;
constexpr int kTemporalBinomialBits = 4;

// How a 3x3 sum of absolute differences m maps to a weight:
// `minWeight` up to `low`, rising linearly to 128 at `high` and beyond.
// Build it with makeTemporalRamp, which keeps the products in 16 bits.
struct TemporalRamp {
    int16_t low = 0;    // m at or below: minWeight
    int16_t span = 1;   // high - low, at least 1
    int16_t slope = 0;  // weight step per unit of m, in 1/256
    int16_t minWeight = 1;
};

// A ramp from `low` to `high` (clamped to 0..4095, high > low) starting at
// minWeight (clamped to 1..128).
TemporalRamp makeTemporalRamp(int low, int high, int minWeight);

struct TemporalRows {
    // At every x: sum[x] = (accumulate ? sum[x] : 0) + |s0 - r0| + |s1 - r1|
    // + |s2 - r2|, the column sums of a 3x3 window of absolute differences;
    // and, unless blur is null, blur[x] = s0 + 2 s1 + s2, the column sums of
    // a 3x3 binomial filter of the source.
    void (*columnSums)(const uint8_t* s0, const uint8_t* r0, const uint8_t* s1, const uint8_t* r1,
                       const uint8_t* s2, const uint8_t* r2, uint16_t* sum, uint16_t* blur,
                       int width, int accumulate);
    // weight[x] = max(ramp(max(m[x - 1], m[x], m[x + 1])), floor[x]) with
    // m[i] = sum[i - 1] + sum[i] + sum[i + 1]: a weight per pixel, widened by
    // one pixel to each side so that a moving edge's neighbours move too.
    // sum is read from -2 to width + 1, each at most 8191; a null floor
    // counts as 0.
    void (*weights)(const uint16_t* sum, const uint8_t* floor, uint8_t* weight, int width,
                    const TemporalRamp& ramp);
    // out[x] = (reference[x] * (128 - w) + s * w + 64) >> 7, w = weight[x]
    // in 0..128, where s is the source moved toward its 3x3 binomial mean
    // ((blur[x - 1] + 2 blur[x] + blur[x + 1] + 8) >> 4) by at most `limit`
    // (0..255); blur is read from -1 to width.
    void (*blend)(const uint8_t* reference, const uint8_t* source, const uint16_t* blur, int limit,
                  const uint8_t* weight, uint8_t* out, int width);
    // out[x] = max of a[2x], a[2x + 1], b[2x], b[2x + 1]: the luma weights
    // that cover one chroma sample. a and b hold 2 * width samples.
    void (*maxHalve)(const uint8_t* a, const uint8_t* b, uint8_t* out, int width);
};

// Puts the rows of the build's architecture that need no flag outside
// `flags` into `rows`. Defined once per architecture, in <arch>/denoise_init.cpp
// beside this file (generic/ where the architecture has no rows).
void temporalRowsInitArch(TemporalRows& rows, CpuFlags flags);
// The fastest rows that need no flag outside `flags`.
TemporalRows temporalRowsFor(CpuFlags flags);
// temporalRowsFor(cpuFlags()), filled on the first call. Thread-safe.
const TemporalRows& temporalRows();

// The portable rows, for the variants' tails.
void columnSumsC(const uint8_t* s0, const uint8_t* r0, const uint8_t* s1, const uint8_t* r1,
                 const uint8_t* s2, const uint8_t* r2, uint16_t* sum, uint16_t* blur, int width,
                 int accumulate);
void temporalWeightsC(const uint16_t* sum, const uint8_t* floor, uint8_t* weight, int width,
                      const TemporalRamp& ramp);
void temporalBlendC(const uint8_t* reference, const uint8_t* source, const uint16_t* blur,
                    int limit, const uint8_t* weight, uint8_t* out, int width);
void maxHalveC(const uint8_t* a, const uint8_t* b, uint8_t* out, int width);

}  // namespace video
}  // namespace kelvo
