// The one decision from a frame's colour codes to its Y'CbCr <-> RGB
// conversion. Every conversion in both directions (the GL upload and
// readback, the CPU rows, the caller-buffer conversions) takes its matrix,
// offsets and fixed-point coefficients from here, so a frame is encoded back
// with exactly the inverse of what decoded it. GL-free and libyuv-free.
#pragma once

#include <cstdint>

namespace kelvo {
namespace video {

enum class YUVStandard : uint8_t { kBT601, kBT709, kBT2020 };

// 8-bit fixed-point RGB -> Y'CbCr, libyuv style (shifts are arithmetic):
//   Y = min(255, (yR R + yG G + yB B + yBias) >> 8)
//   U = clamp((uR R + uG G + uB B + kYUVChromaBias) >> 8), V likewise,
// chroma from the 2x2 block averages. The weights are the encode matrix
// scaled by 256 and rounded so that every row keeps its exact sum (luma 256
// or 220, chroma 0): white stays white and greys stay neutral.
struct YUVFixedCoeffs {
    int16_t yR, yG, yB;
    int32_t yBias;
    int16_t uR, uG, uB;
    int16_t vR, vG, vB;
};

// (128 + 0.5) * 256: the chroma zero plus rounding.
constexpr int32_t kYUVChromaBias = 32896;

// 8-bit Y'CbCr -> RGB in 12-bit fixed point, `decode` times 4096 rounded:
//   l = (Y - yOffset) * y + 2048
//   R = clamp((l + vr (V - 128)) >> 12)
//   G = clamp((l - ug (U - 128) - vg (V - 128)) >> 12)
//   B = clamp((l + ub (U - 128)) >> 12)
struct YUVFixedDecode {
    int16_t y, vr, ug, vg, ub, yOffset;
};

struct YUVMatrix {
    YUVStandard standard;
    bool fullRange;
    // Subtracted from the texel values (0..1) before `decode`: luma 16/255
    // for limited range and 0 for full; chroma 128/255 in both, the zero of
    // 8-bit chroma, so that neutral chroma decodes to no colour at all (0.5,
    // that is 127.5, tinted every grey and came back as 129).
    float lumaOffset;
    float chromaOffset;
    // Row-major, rows R, G, B: RGB (0..1) = decode * (Y' - lumaOffset,
    // Cb - chromaOffset, Cr - chromaOffset).
    float decode[9];
    // The exact inverse of `decode`: (Y' - lumaOffset, Cb - chromaOffset,
    // Cr - chromaOffset) = encode * RGB.
    float encode[9];
    YUVFixedCoeffs fixed;
    YUVFixedDecode fixedDecode;
};

// The conversion for a frame's colour matrix code m and range code r:
//   m == -1 (not given)  BT.601 limited, whatever r is
//   m == 3 or 4          BT.601
//   m == 7 or 8          BT.2020
//   any other m          BT.709 (RGB, FCC, SMPTE 240M, YCgCo, ST 2085, ...)
// and full range only for r == 1. The reference is to a table that lives
// for the whole process; pure and thread-safe.
const YUVMatrix& yuvMatrixFor(int colorMatrix, int colorRange);

// The table entry of one standard and range.
const YUVMatrix& yuvMatrix(YUVStandard standard, bool fullRange);

}  // namespace video
}  // namespace kelvo
