// The x86 rows of color_space_rows.h; call only where the CPU has the
// instruction set.
#pragma once

#include "convert/color_space_rows.h"

namespace kelvo {
namespace video {

void PackedRowToY_SSE2(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c);
void PackedRowPairToUV_SSE2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                            int width, const PackedRowCoeffs& c);
void YUVRowToPacked_SSE2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                         int width, const YUVFixedDecode& k, int r, int g, int b);
void PackedKeepAlphaRow_SSE2(uint8_t* dst, const uint32_t* colour, int width, uint32_t alphaMask);
void PackedRowToY_AVX2(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c);
void PackedRowPairToUV_AVX2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                            int width, const PackedRowCoeffs& c);

}  // namespace video
}  // namespace kelvo
