// Row functions of the YUV input conversion (cpu/yuv_input.h): one output row
// of RGBA8 from a luma row and chroma already sampled at every pixel.
// Portable, SSE2 and AVX2 rows give identical bytes; the fast rows may run
// only where rowPathSupported says so.
#pragma once

#include <cstdint>

#include "cpu/cpu_features.h"

namespace kelvo {
namespace video {

struct YUVInputRowParams {
    float matrix[9];    // row-major Y'CbCr -> RGB, row 0 gives R
    float rangeOffset;  // luma foot (16/255 for limited range, else 0)
    float chromaOffset = 128.0f / 255.0f;  // zero of 8-bit chroma
};

// u and v hold chroma in 8-bit units (0..255) for each of the width pixels.
using YUVToRGBARowFn = void (*)(const uint8_t* y, const float* u, const float* v,
                                uint8_t* dstRGBA, int width, const YUVInputRowParams& p);

void YUVToRGBARow_C(const uint8_t* y, const float* u, const float* v, uint8_t* dstRGBA,
                    int width, const YUVInputRowParams& p);
void YUVToRGBARow_SSE2(const uint8_t* y, const float* u, const float* v, uint8_t* dstRGBA,
                       int width, const YUVInputRowParams& p);
void YUVToRGBARow_AVX2(const uint8_t* y, const float* u, const float* v, uint8_t* dstRGBA,
                       int width, const YUVInputRowParams& p);

// The row for a path (the portable one where the path is unsupported).
YUVToRGBARowFn yuvToRGBARowFor(RowPath path);

}  // namespace video
}  // namespace kelvo
