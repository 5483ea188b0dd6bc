// Row functions of low-light enhancement (cpu/lowlight_enhance.h): one RGBA8
// output row from the input row and its two vertical neighbours (the edge
// row itself at the top and bottom). Portable, SSE2 and AVX2 rows give
// identical bytes; the fast rows may run only where rowPathSupported says so.
#pragma once

#include <cstdint>

#include "cpu/cpu_features.h"

namespace kelvo {
namespace video {

struct LowlightRowParams {
    float k;            // logMean / 1.8
    float curveScale;   // ln(1 + 0.9 / k): the curve's value at luma 0.9
};

// The row parameters for a frame's log-average luma (> 0).
LowlightRowParams lowlightRowParams(float logMean);

using LowlightRowFn = void (*)(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                               uint8_t* dst, int width, const LowlightRowParams& p);

void LowlightEnhanceRow_C(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                          uint8_t* dst, int width, const LowlightRowParams& p);
void LowlightEnhanceRow_SSE2(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                             uint8_t* dst, int width, const LowlightRowParams& p);
void LowlightEnhanceRow_AVX2(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                             uint8_t* dst, int width, const LowlightRowParams& p);

LowlightRowFn lowlightRowFor(RowPath path);

}  // namespace video
}  // namespace kelvo
