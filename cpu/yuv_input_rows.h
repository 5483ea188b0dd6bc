// Row functions of the YUV input conversion (cpu/yuv_input.h), in 8-bit
// fixed point as the texture sampler filters: chroma texel rows blended
// across to every picture column, then one output row of RGBA8 from the
// two luma and chroma rows the sampler blends down. Portable and
// instruction-set rows give identical bytes; the fast rows may run only where cpuFlags()
// has their instruction set.
#pragma once

#include <cstdint>

#include "system/cpu_features.h"

namespace kelvo {
namespace video {

struct YUVInputRowParams {
    float matrix[9];                       // row-major Y'CbCr -> RGB, row 0 gives R
    float rangeOffset;                     // luma foot (16/255 for limited range, else 0)
    float chromaOffset = 128.0f / 255.0f;  // zero of 8-bit chroma
};

// The conversion in integers: for channel c (R, G, B),
//   clamp((w[c][0] (Y - lumaOffset) + w[c][1] u + w[c][2] v + 2^19) >> 20)
// with w[c][j] = 128 k[c][j][0] + k[c][j][1], and u, v twice the chroma's
// distance from its zero, clamped to +-255 as the float conversion clamps
// to +-0.5.
struct YUVInputFixed {
    int16_t lumaOffset;
    int16_t chromaOffset;  // doubled
    int16_t k[3][3][2];
};

// The matrix in fixed point, rounded; its luma column must stay within +-2
// and its chroma columns within +-3.
YUVInputFixed yuvInputFixed(const YUVInputRowParams& p);

// One texel row of chroma blended across for each of width picture
// columns: even columns sit 3/4 of the way from texel k - 1 to k, odd ones
// 1/4 of the way from k to k + 1. padded holds the (width + 1) / 2 texels
// of the row with its edge texels repeated once on each side.
using ChromaAcrossRowFn = void (*)(const uint8_t* padded, uint8_t* out, int width);

// The rows one picture row is sampled from, each blended with its second
// row by weight / 256.
struct YUVInputLines {
    const uint8_t *y0, *y1;
    int lumaWeight;
    const uint8_t *u0, *u1, *v0, *v1;  // chroma blended across
    int chromaWeight;
};

using YUVToRGBARowFn = void (*)(const YUVInputLines& rows, uint8_t* dstRGBA, int width,
                                const YUVInputFixed& k);

void ChromaAcrossRow_C(const uint8_t* padded, uint8_t* out, int width);
void YUVToRGBARow_C(const YUVInputLines& rows, uint8_t* dstRGBA, int width, const YUVInputFixed& k);

// The input conversion's rows of one instruction-set level.
struct YUVInputRows {
    ChromaAcrossRowFn chromaAcross;
    YUVToRGBARowFn toRGBA;
};
// Puts the rows of the build's architecture that need no flag outside
// `flags` into `rows`. Defined once per architecture, in <arch>/yuv_input_init.cpp beside
// this file (generic/ where the architecture has no rows).
void yuvInputRowsInitArch(YUVInputRows& rows, CpuFlags flags);
// The fastest rows that need no flag outside `flags`.
YUVInputRows yuvInputRowsFor(CpuFlags flags);
// yuvInputRowsFor(cpuFlags()), filled on the first call. Thread-safe.
const YUVInputRows& yuvInputRows();

}  // namespace video
}  // namespace kelvo
