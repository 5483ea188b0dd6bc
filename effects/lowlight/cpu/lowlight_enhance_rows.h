// Row functions of low-light enhancement (cpu/lowlight_enhance.h): one RGBA8
// output row from the input row and its two vertical neighbours (the edge
// row itself at the top and bottom). Portable, SSE2 and AVX2 rows give
// identical bytes; the fast rows may run only where cpuFlags() has their
// instruction set.
#pragma once

#include <cstdint>

#include "system/cpu_features.h"

namespace kelvo {
namespace video {

// The luma gain of a frame's curve, yNew / y, sampled at luma i / kSteps and
// interpolated linearly between samples. The gain depends on nothing but
// luma and the frame's log-average, so one table serves the whole frame.
struct LowlightGainTable {
    static constexpr int kSteps = 1024;
    // Entry i's gain (the float's bits) in the low half, its step to the
    // next entry's gain (0 for the last) in the high half: one 8-byte read
    // serves a pixel.
    uint64_t gainStep[kSteps + 1];
    // The sharpening weight of each high-pass band, and of the low band's
    // quiet part (a high-pass smaller than the low band's bound either way).
    float sharpenLow, sharpenMid, sharpenHigh, sharpenQuiet;
};

// The table for a frame's log-average luma (> 0), with the gain taken the
// share `strength` (0..1) of the way from none to the curve's, and the
// sharpening weights scaled by `sharpen` (0..1) and the quiet part's weight
// `quiet`. 1, 1 and kLowlightSharpenLow: the curve and the sharpening
// themselves.
void fillLowlightGainTable(float logMean, float strength, float sharpen, float quiet,
                           LowlightGainTable& table);

// greenSums is scratch of width + 2 integers.
using LowlightRowFn = void (*)(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                               uint8_t* dst, int width, const LowlightGainTable& gains,
                               int32_t* greenSums);

void LowlightEnhanceRow_C(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                          uint8_t* dst, int width, const LowlightGainTable& gains,
                          int32_t* greenSums);

// Low light's rows of one instruction-set level.
struct LowlightRows {
    LowlightRowFn row;
};
// Puts the rows of the build's architecture that need no flag outside
// `flags` into `rows`. Defined once per architecture, in <arch>/lowlight_enhance_init.cpp beside
// this file (generic/ where the architecture has no rows).
void lowlightRowsInitArch(LowlightRows& rows, CpuFlags flags);
// The fastest rows that need no flag outside `flags`.
LowlightRows lowlightRowsFor(CpuFlags flags);
// lowlightRowsFor(cpuFlags()), filled on the first call. Thread-safe.
const LowlightRows& lowlightRows();

}  // namespace video
}  // namespace kelvo
