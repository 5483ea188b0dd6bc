// Row kernels of the CPU beauty effect. Each comes as a portable `_C` row and
// SSE2/AVX2 rows that give the same bytes (the same integer steps, or the
// same float operations in the same order, no FMA); beautyRows() picks one
// set once per process.
//
// Pixels are RGBA8, 4 bytes each. Texture reads follow the GL driver's
// linear filter on RGBA8 textures: a coordinate becomes 8.8 fixed point
// (nearest, less half a texel), the two texels are blended as
// (w0 * a + w1 * b + 128) >> 8 with w0 = 256 - fraction and w1 = fraction, a
// two-axis read blends along x first, then along y, each step kept to 8 bits.
// A packed weight is w0 | w1 << 16. A read value v stands for
// v * float(1/255); a written value x for round-half-even(clamp(x, 0, 1) * 255).
//
// Rows marked "padded" read up to 8 pixels left and right of [0, width);
// the caller replicates the edge pixels there, which is what edge clamping
// reads. No row allocates; all are thread-safe on disjoint outputs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu/color_cube.h"
#include "effects/lut_loader.h"
#include "system/cpu_features.h"

namespace kelvo::video {

// Margin, in pixels, of padded rows on each side.
constexpr int kBeautyRowMargin = 8;

// Nine texture reads along a column: read k
// blends rows[2k] and rows[2k+1] with weights[k], in the order the shader
// sums them (centre, then -1, +1, -2, +2, ... steps).
struct BeautyColumnTaps {
    const uint8_t* rows[18];
    uint32_t weights[9];
};

// Uniforms of the final mix as the GL effect sets them.
struct BeautyMixUniforms {
    float blurAlpha;
    float sharpen;
    float lightStrength;
    float whiteDegree;
    float ruddyDegree;
    int noiseLevel;
    int enableLut;
    int level;  // kBeautyLevelSelective: the selective weight (beauty_model.h)
    // Tables as beautyTableCells lays them out; read only when enableLut > 0.
    const uint8_t* whiten;
    const uint8_t* ruddy;
    // Both gradings as one cube (built with the grade row); when it has
    // entries the mix reads it in place of the tables.
    ColorCubeView grading;
};

// The two table gradings of the mix, as it applies them without a cube, for
// `count` colours of 3 floats (in place): what a grading cube is built from.
void BeautyGradeRow_C(const BeautyMixUniforms& u, float* rgb, int count);

// A 512 x 512 table is stored as cells, one per texel position a read can
// start at (-1 to 511 on each axis, where -1 and 512 give what edge clamping
// gives), holding the rgb of the four texels a two-axis read blends as the
// pairs it blends first: the top left and top right texel's red, green and
// blue, then the bottom ones', each pair left then right, and 4 zero bytes.
// So one read is one 16-byte load.
constexpr int kBeautyTableSize = kLutImageSize;
// Texture units to the driver's 8.8 fixed texel positions on a table.
constexpr float kBeautyTableFixedScale = static_cast<float>(kBeautyTableSize * 256);
// Where the tiles of column q % 8 start, in those units (exact).
constexpr float beautyTileStartFixed(int column) {
    return (static_cast<float>(column) * kLutTileSize + kLutTexelCentre) * kBeautyTableFixedScale;
}
constexpr int kBeautyTableCells = kBeautyTableSize + 1;  // per axis
constexpr int kBeautyTableCellBytes = 16;
constexpr size_t kBeautyTableBytes =
    static_cast<size_t>(kBeautyTableCells) * kBeautyTableCells * kBeautyTableCellBytes;

// Lays out `table` (512 x 512 RGBA8, rows `stride` bytes apart) as cells in
// `cells`, kBeautyTableBytes long; 16-byte aligned keeps a cell in one cache
// line.
void beautyTableCells(const uint8_t* table, int stride, uint8_t* cells);

// dst[i] = src[x0[i]] blended with src[x1[i]] by weights[i]: the input rows
// narrowed to half width for the first two passes, and the blurred half-size
// rows widened for the mix.
void BeautyDownsizeRow_C(const uint8_t* src, const int32_t* x0, const int32_t* x1,
                         const uint32_t* weights, uint8_t* dst, int width);
// The same reads where the size halves or doubles exactly, as most frames
// do: halving reads pixels 2i and 2i + 1 halfway between them (dst `width`
// pixels); doubling reads a quarter of the way to the nearer neighbour,
// from `src` padded (`width` source pixels, 2 * width written).
void BeautyHalveRow_C(const uint8_t* src, uint8_t* dst, int width);
// Doubling's packed weights: output pixel 2i blends source i - 1 and i,
// pixel 2i + 1 source i and i + 1.
constexpr uint32_t kBeautyQuarterBack = 64u | 192u << 16;
constexpr uint32_t kBeautyQuarterOn = 192u | 64u << 16;
void BeautyDoubleRow_C(const uint8_t* src, uint8_t* dst, int width);
// Vertical nine-read box blur of rgb (first pass); alpha 255.
void BeautyBlurRgbColumnRow_C(const BeautyColumnTaps& taps, uint8_t* dst, int width);
// Second pass: horizontal nine-read blur of `blur` (padded) as the local mean
// colour; alpha the clipped squared departure from that mean of the input,
// read as in0 blended with in1 by inWeight, in fixed point
// (kBeautyDepartureCap and beside it in beauty_rows_kernel.h).
void BeautySoften2Row_C(const uint8_t* blur, const uint8_t* in0, const uint8_t* in1,
                        uint32_t inWeight, uint8_t* dst, int width);
// Third pass: horizontal nine-read blur of alpha (src padded); rgb copied.
void BeautyBlurAlphaRow_C(const uint8_t* src, uint8_t* dst, int width);
// Fourth pass: vertical nine-read blur of alpha over rows[0..12], the rows at
// -6..+6 from the output row (clamped by the caller); rgb from rows[6].
void BeautyBlurAlphaColumnRow_C(const uint8_t* const* rows, uint8_t* dst, int width);

// Final mix of one output row: `row` with its neighbours `above` and `below`
// (the same pointer at the frame's edges), the blurred picture read as blur0
// blended with blur1 (the half-size rows already widened) by blurWeight.
void BeautyMixRow_C(const BeautyMixUniforms& u, const uint8_t* above, const uint8_t* row,
                    const uint8_t* below, const uint8_t* blur0, const uint8_t* blur1,
                    uint32_t blurWeight, uint8_t* dst, int width);

#define KELVO_BEAUTY_ROWS(suffix)                                                                \
    void BeautyDownsizeRow_##suffix(const uint8_t* src, const int32_t* x0, const int32_t* x1,    \
                                    const uint32_t* weights, uint8_t* dst, int width);           \
    void BeautyHalveRow_##suffix(const uint8_t* src, uint8_t* dst, int width);                   \
    void BeautyDoubleRow_##suffix(const uint8_t* src, uint8_t* dst, int width);                  \
    void BeautyBlurRgbColumnRow_##suffix(const BeautyColumnTaps& taps, uint8_t* dst, int width); \
    void BeautySoften2Row_##suffix(const uint8_t* blur, const uint8_t* in0, const uint8_t* in1,  \
                                   uint32_t inWeight, uint8_t* dst, int width);                  \
    void BeautyBlurAlphaRow_##suffix(const uint8_t* src, uint8_t* dst, int width);               \
    void BeautyBlurAlphaColumnRow_##suffix(const uint8_t* const* rows, uint8_t* dst, int width); \
    void BeautyMixRow_##suffix(const BeautyMixUniforms& u, const uint8_t* above,                 \
                               const uint8_t* row, const uint8_t* below, const uint8_t* blur0,   \
                               const uint8_t* blur1, uint32_t blurWeight, uint8_t* dst,          \
                               int width);                                                       \
    void BeautyGradeRow_##suffix(const BeautyMixUniforms& u, float* rgb, int count);

// One set of rows.
struct BeautyRows {
    decltype(&BeautyDownsizeRow_C) downsize;
    decltype(&BeautyHalveRow_C) halve;
    decltype(&BeautyDoubleRow_C) doubled;
    decltype(&BeautyBlurRgbColumnRow_C) blurRgbColumn;
    decltype(&BeautySoften2Row_C) soften2;
    decltype(&BeautyBlurAlphaRow_C) blurAlpha;
    decltype(&BeautyBlurAlphaColumnRow_C) blurAlphaColumn;
    decltype(&BeautyMixRow_C) mix;
    decltype(&BeautyGradeRow_C) grade;
};

// Puts the rows of the build's architecture that need no flag outside
// `flags` into `rows`. Defined once per architecture, in <arch>/beauty_init.cpp beside
// this file (generic/ where the architecture has no rows).
void beautyRowsInitArch(BeautyRows& rows, CpuFlags flags);
// The fastest rows that need no flag outside `flags`.
BeautyRows beautyRowsFor(CpuFlags flags);
// beautyRowsFor(cpuFlags()), filled on the first call. Thread-safe.
const BeautyRows& beautyRows();

}  // namespace kelvo::video
