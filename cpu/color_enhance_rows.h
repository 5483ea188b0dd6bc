// Row functions of colour enhancement (cpu/color_enhance.h): one RGBA8 row
// in, one out (may be the same row). Portable, SSE2 and AVX2 rows give
// identical bytes; the fast rows may run only where rowPathSupported says so.
#pragma once

#include <cstdint>

#include "cpu/cpu_features.h"

namespace kelvo {
namespace video {

// Tables shared by every row: built once per process, never freed.
struct ColorEnhanceTables {
    // 100 x the linearised value of each 8-bit channel level.
    const float* linear;
    // Encoding a linear value v in [0, 1] to its 8-bit framebuffer level:
    // level = encodeBase[j] + (v >= encodeThreshold[encodeBase[j] + 1]) with
    // j = min(int(v * kEncodeBins), kEncodeBins - 1); encodeThreshold[k] is
    // the smallest v that reaches level k (index 256 is unreachable).
    const int32_t* encodeBase;
    const float* encodeThreshold;
};
constexpr int kEncodeBins = 4096;

// Thread-safe; the first call builds the tables.
const ColorEnhanceTables& colorEnhanceTables();

struct ColorEnhanceRowParams {
    float colorStep;      // strength x 100
    float suppress;       // share of the boost withheld on skin (0 without a skin table)
    float lowChromaGain;  // boost gain below the threshold
    float threshold;      // chroma share where the two boost branches meet
    float maxRange;       // chroma at which the boost ends
    // The skin table's red channel as 0..1, 512 x 512 (8 x 8 tiles of 64 x
    // 64: blue picks the tile, red runs across, green down); null reads 0.
    const float* skin;
    ColorEnhanceTables tables;
};

using ColorEnhanceRowFn = void (*)(const uint8_t* src, uint8_t* dst, int width,
                                   const ColorEnhanceRowParams& p);

void ColorEnhanceRow_C(const uint8_t* src, uint8_t* dst, int width, const ColorEnhanceRowParams& p);
void ColorEnhanceRow_SSE2(const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p);
void ColorEnhanceRow_AVX2(const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p);

ColorEnhanceRowFn colorEnhanceRowFor(RowPath path);

}  // namespace video
}  // namespace kelvo
