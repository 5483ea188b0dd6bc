// Row kernels behind the packed-RGB converters of color_space_convert.h (and
// the way back to packed pixels in frame_conversion.cpp): the fast x86 rows
// and the entry that converts with one chosen row set, so that tests can
// hold every set against the portable rows; the CPU backend's output rows
// use the integer rows too. Internal to the library.
//
// A fast row converts the longest prefix of the row that fills its vectors
// and returns that prefix's length in pixels (a multiple of 16 or 32, so
// even); the portable row converts the rest, odd last column included.
// Fast rows must run only where packedRowPathSupported says so.
#pragma once

#include <cstdint>

#include "frame/yuv_matrix.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KELVO_COLOR_ROWS_X86 1
#else
#define KELVO_COLOR_ROWS_X86 0
#endif

namespace kelvo {
namespace video {

// One coefficient set laid out by byte position within a pixel (the alpha
// byte weighs 0): Y = (sum y[i] * byte[i] + yBias) >> 8, U and V likewise
// with the chroma bias, on 2x2 averages.
struct PackedRowCoeffs {
    int16_t y[4];
    int32_t yBias;
    int16_t u[4];
    int16_t v[4];
};

using PackedFastRowY = int (*)(const uint8_t* src, uint8_t* dstY, int width,
                               const PackedRowCoeffs& c);
using PackedFastRowUV = int (*)(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU,
                                uint8_t* dstV, int width, const PackedRowCoeffs& c);

#if KELVO_COLOR_ROWS_X86
int packedRowToY_SSE2(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c);
int packedRowPairToUV_SSE2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU,
                           uint8_t* dstV, int width, const PackedRowCoeffs& c);
int packedRowToY_AVX2(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c);
int packedRowPairToUV_AVX2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU,
                           uint8_t* dstV, int width, const PackedRowCoeffs& c);
#endif

// I420 rows to packed pixels with YuvFixedDecode: R, G and B at byte
// offsets r, g and b of each pixel, 0 in the fourth byte; pixel x takes
// chroma sample x / 2. The fast row converts the longest prefix that fills
// its vectors and returns its length (a multiple of 8).
void yuvRowToPacked_C(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                      int width, const YuvFixedDecode& k, int r, int g, int b);
#if KELVO_COLOR_ROWS_X86
int yuvRowToPacked_SSE2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                        int width, const YuvFixedDecode& k, int r, int g, int b);
#endif

enum class PackedRowPath { kPortable, kSSE2, kAVX2 };
enum class PackedOrder { kABGR, kARGB, kBGRA };

// Whether this build and processor run the path; kPortable always.
bool packedRowPathSupported(PackedRowPath path);
// The fastest supported path (checked once per process).
PackedRowPath bestPackedRowPath();

// ABGR/ARGB/BGRAToI420ColorSpace with the given rows; same arguments and
// results. An unsupported path falls back to the portable rows.
int packedToI420WithRows(PackedOrder order, PackedRowPath path, const uint8_t* src,
                         int srcStride, uint8_t* dstY, int dstStrideY, uint8_t* dstU,
                         int dstStrideU, uint8_t* dstV, int dstStrideV, int width, int height,
                         int colorRange, int colorMatrix);

}  // namespace video
}  // namespace kelvo
