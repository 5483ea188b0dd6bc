// The WebAssembly rows of color_space_rows.h (SIMD128: the build that has
// them is loaded only where it validates).
#pragma once

#include "convert/color_space_rows.h"

namespace kelvo {
namespace video {

void PackedRowToY_SIMD128(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c);
void PackedRowPairToUV_SIMD128(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU,
                               uint8_t* dstV, int width, const PackedRowCoeffs& c);
void YUVRowToPacked_SIMD128(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                            int width, const YUVFixedDecode& k, int r, int g, int b);
void PackedKeepAlphaRow_SIMD128(uint8_t* dst, const uint32_t* colour, int width,
                                uint32_t alphaMask);

}  // namespace video
}  // namespace kelvo
