// Row functions of colour enhancement (cpu/color_enhance.h): one RGBA8 row
// in, one out (may be the same row). Portable, SSE2 and AVX2 rows give
// identical bytes; the fast rows may run only where cpuFlags() has their
// instruction set.
#pragma once

#include <cstdint>

#include "cpu/color_cube.h"
#include "system/cpu_features.h"

namespace kelvo {
namespace video {

// Tables shared by every row: built once per process, never freed.
struct ColorEnhanceTables {
    // 100 x the linearised value of each 8-bit channel level.
    const float* linear;
    // Encoding a linear value v in [0, 1] to the 8-bit level the framebuffer
    // gets: bin j = min(int(v * kEncodeBins), kEncodeBins - 1) holds
    // (t << 8) | level, where level is the level at the bin's start and t,
    // in units of 1 / kEncodeOne, where the next level starts (no bin holds
    // two level steps). The result is level + (int(v * kEncodeOne) >= t).
    const int32_t* encode;
};
constexpr int kEncodeBins = 4096;
constexpr int kEncodeOne = 1 << 22;

// Thread-safe; the first call builds the tables.
const ColorEnhanceTables& colorEnhanceTables();

struct ColorEnhanceRowParams {
    float colorStep;      // strength x 100
    float suppress;       // share of the boost withheld on skin (0 without a skin table)
    float lowChromaGain;  // boost gain below the threshold
    float threshold;      // chroma share where the two boost branches meet
    float maxRange;       // chroma at which the boost ends
    // The skin table's red channel, 512 x 512 (8 x 8 tiles of 64 x 64: blue
    // picks the tile, red runs across, green down), each entry holding the
    // levels of texels (x, y), (x + 1, y), (x, y + 1), (x + 1, y + 1) in
    // its bytes 0..3, edges clamped; null reads 0.
    const uint32_t* skin;
    ColorEnhanceTables tables;
};

using ColorEnhanceRowFn = void (*)(const uint8_t* src, uint8_t* dst, int width,
                                   const ColorEnhanceRowParams& p);

void ColorEnhanceRow_C(const uint8_t* src, uint8_t* dst, int width, const ColorEnhanceRowParams& p);

// The exact row's outputs for every colour of a marked cell of the 52-point
// cube (grid every fifth level): colour (r0 + r, g0 + g, b0 + b) of the cell
// with first corner (r0, g0, b0) at (b * 6 + g) * 6 + r, r, g, b in 0..4, or
// 0..5 on the last cell along an axis (levels 250..255). RGBA8 as the row
// writes it.
constexpr int kColorBlockStep = 5;
constexpr int kColorBlockSide = kColorBlockStep + 1;
constexpr int kColorBlockColors = kColorBlockSide * kColorBlockSide * kColorBlockSide;

// The row read from a cube of its encoded outputs (see ColorEnhanceEncodedRow_C)
// over the 8-bit cube. In a marked cell with a number n (ColorCube::cellNumber)
// a pixel takes its colour from block n - 1 of `blocks`, in other marked
// cells the exact row's. With null `blocks` numbers are ignored.
using ColorEnhanceCubeRowFn = void (*)(const ColorCubeView& cube, const uint32_t* blocks,
                                       const uint8_t* src, uint8_t* dst, int width,
                                       const ColorEnhanceRowParams& p);
void ColorEnhanceCubeRow_C(const ColorCubeView& cube, const uint32_t* blocks, const uint8_t* src,
                           uint8_t* dst, int width, const ColorEnhanceRowParams& p);

// The row before it clamps and writes 8 bits: each pixel's encoded R, G, B
// as three floats, out-of-gamut values continuing the encoding curve past 0
// and 1 (a float power, so within an ulp or two of what the row rounds).
using ColorEnhanceEncodedRowFn = void (*)(const uint8_t* src, float* dst, int width,
                                          const ColorEnhanceRowParams& p);
void ColorEnhanceEncodedRow_C(const uint8_t* src, float* dst, int width,
                              const ColorEnhanceRowParams& p);

// Colour enhancement's rows of one instruction-set level.
struct ColorEnhanceRows {
    ColorEnhanceRowFn row;
    ColorEnhanceCubeRowFn cubeRow;
    ColorEnhanceEncodedRowFn encodedRow;
};
// Puts the rows of the build's architecture that need no flag outside
// `flags` into `rows`. Defined once per architecture, in <arch>/color_enhance_init.cpp beside
// this file (generic/ where the architecture has no rows).
void colorEnhanceRowsInitArch(ColorEnhanceRows& rows, CpuFlags flags);
// The fastest rows that need no flag outside `flags`.
ColorEnhanceRows colorEnhanceRowsFor(CpuFlags flags);
// colorEnhanceRowsFor(cpuFlags()), filled on the first call. Thread-safe.
const ColorEnhanceRows& colorEnhanceRows();

}  // namespace video
}  // namespace kelvo
