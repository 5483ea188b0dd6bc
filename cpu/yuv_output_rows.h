// Row functions of the output conversion (cpu/yuv_output.h): RGBA8 rows to
// I420 luma and chroma rows with integer coefficients in 1/256 steps.
// Portable, SSE2 and AVX2 rows give identical bytes; the fast rows may run
// only where rowPathSupported says so.
#pragma once

#include <cstdint>

#include "cpu/cpu_features.h"

namespace kelvo {
namespace video {

// Y = (y[0] R + y[1] G + y[2] B + yBias) >> 8, and U, V likewise from the
// truncated means of each 2x2 block (of the two samples of an odd last
// column) with uvBias; all results clamped to 0..255. Coefficients must keep
// every sum within +-2^24 (8-bit style weights do).
struct YUVOutputCoeffs {
    int32_t y[3];
    int32_t yBias;
    int32_t u[3];
    int32_t v[3];
    int32_t uvBias;
};

using RGBAToYRowFn = void (*)(const uint8_t* srcRGBA, uint8_t* dstY, int width,
                              const YUVOutputCoeffs& c);
// Converts width pixels of two rows into (width + 1) / 2 chroma samples.
using RGBAToUVRowFn = void (*)(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU,
                               uint8_t* dstV, int width, const YUVOutputCoeffs& c);

void RGBAToYRow_C(const uint8_t* srcRGBA, uint8_t* dstY, int width, const YUVOutputCoeffs& c);
void RGBAToYRow_SSE2(const uint8_t* srcRGBA, uint8_t* dstY, int width, const YUVOutputCoeffs& c);
void RGBAToYRow_AVX2(const uint8_t* srcRGBA, uint8_t* dstY, int width, const YUVOutputCoeffs& c);
void RGBAToUVRow_C(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                   int width, const YUVOutputCoeffs& c);
void RGBAToUVRow_SSE2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                      int width, const YUVOutputCoeffs& c);
void RGBAToUVRow_AVX2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                      int width, const YUVOutputCoeffs& c);

RGBAToYRowFn rgbaToYRowFor(RowPath path);
RGBAToUVRowFn rgbaToUVRowFor(RowPath path);

}  // namespace video
}  // namespace kelvo
