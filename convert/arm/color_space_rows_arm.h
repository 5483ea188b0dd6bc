// The 64-bit ARM rows of color_space_rows.h (NEON: every such processor has
// it).
#pragma once

#include "convert/color_space_rows.h"

namespace kelvo {
namespace video {

void PackedRowToY_NEON(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c);
void PackedRowPairToUV_NEON(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                            int width, const PackedRowCoeffs& c);
void YUVRowToPacked_NEON(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                         int width, const YUVFixedDecode& k, int r, int g, int b);
void PackedKeepAlphaRow_NEON(uint8_t* dst, const uint32_t* colour, int width, uint32_t alphaMask);

}  // namespace video
}  // namespace kelvo
