// Row kernels behind the packed-RGB converters of color_space_convert.h, the
// way back to packed pixels in frame_conversion.cpp and the CPU backend's
// output conversion: one implementation of RGBA to I420 for all of them.
// Internal to the library.
//
// Every row converts its whole row; the fast rows give the portable rows'
// bytes and may run only where cpuFlags() has their instruction set, so
// take them from packedRows() (or packedRowsFor(flags)).
#pragma once

#include <cstdint>

#include "frame/yuv_matrix.h"
#include "system/cpu_features.h"

namespace kelvo {
namespace video {

// One coefficient set laid out by byte position within a pixel (the alpha
// byte weighs 0): Y = min((sum y[i] * byte[i] + yBias) >> 8, 255), U and V
// clamp((sum u[i] * mean[i] + kYUVChromaBias) >> 8) on the truncated means
// of each 2x2 block (of two samples at an odd last column). Luma weights
// are never negative.
struct PackedRowCoeffs {
    int16_t y[4];
    int32_t yBias;
    int16_t u[4];
    int16_t v[4];
};

// Byte orders of packed pixels, named as libyuv names them: kABGR holds
// bytes R, G, B, A (the RGBA8 of the CPU backend, and what numpy, OpenCV
// and WebCodecs call RGBA), kARGB B, G, R, A, kBGRA A, R, G, B and kRGBA
// A, B, G, R.
enum class PackedOrder { kABGR, kARGB, kBGRA, kRGBA };

// The weights of `k` at the byte positions of `order`.
PackedRowCoeffs packedRowCoeffs(PackedOrder order, const YUVFixedCoeffs& k);

// width pixels to width luma samples.
using PackedRowToYFn = void (*)(const uint8_t* src, uint8_t* dstY, int width,
                                const PackedRowCoeffs& c);
// width pixels of two rows to (width + 1) / 2 chroma samples.
using PackedRowPairToUVFn = void (*)(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU,
                                     uint8_t* dstV, int width, const PackedRowCoeffs& c);
// I420 rows to packed pixels with YUVFixedDecode: R, G and B at byte
// offsets r, g and b of each pixel, 0 in the fourth byte; pixel x takes
// chroma sample x / 2.
using YUVRowToPackedFn = void (*)(const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                  uint8_t* dst, int width, const YUVFixedDecode& k, int r, int g,
                                  int b);

void PackedRowToY_C(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c);
void PackedRowPairToUV_C(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                         int width, const PackedRowCoeffs& c);
void YUVRowToPacked_C(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int width,
                      const YUVFixedDecode& k, int r, int g, int b);
// width pixels: dst keeps its bits of alphaMask and takes the others from
// colour, so a picture written back leaves the caller's alpha as it was.
using PackedKeepAlphaRowFn = void (*)(uint8_t* dst, const uint32_t* colour, int width,
                                      uint32_t alphaMask);
void PackedKeepAlphaRow_C(uint8_t* dst, const uint32_t* colour, int width, uint32_t alphaMask);

// The packed conversions' rows of one instruction-set level.
struct PackedRows {
    PackedRowToYFn toY;
    PackedRowPairToUVFn toUV;
    YUVRowToPackedFn fromYUV;
    PackedKeepAlphaRowFn keepAlpha;
};
// Puts the rows of the build's architecture that need no flag outside
// `flags` into `rows`. Defined once per architecture, in <arch>/color_space_init.cpp
// beside this file (generic/ where the architecture has no rows).
void packedRowsInitArch(PackedRows& rows, CpuFlags flags);
// The fastest rows that need no flag outside `flags`.
PackedRows packedRowsFor(CpuFlags flags);
// packedRowsFor(cpuFlags()), filled on the first call. Thread-safe.
const PackedRows& packedRows();

// ABGR/ARGB/BGRAToI420ColorSpace with the given rows; same arguments and
// results.
int packedToI420WithRows(PackedOrder order, const PackedRows& rows, const uint8_t* src,
                         int srcStride, uint8_t* dstY, int dstStrideY, uint8_t* dstU,
                         int dstStrideU, uint8_t* dstV, int dstStrideV, int width, int height,
                         int colorRange, int colorMatrix);

}  // namespace video
}  // namespace kelvo
