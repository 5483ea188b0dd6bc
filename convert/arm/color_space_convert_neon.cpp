// NEON rows of the packed-RGB converters, from the lane-set kernels.
#include <arm_neon.h>

#include "convert/arm/color_space_rows_arm.h"
#include "convert/packed_rows_kernel.h"
#include "cpu/vec16_neon.h"

namespace kelvo {
namespace video {

void PackedRowToY_NEON(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c) {
    packedRowToY<NEONOps16>(src, dstY, width, c);
}

void PackedRowPairToUV_NEON(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                            int width, const PackedRowCoeffs& c) {
    packedRowPairToUV<NEONOps16>(src0, src1, dstU, dstV, width, c);
}

void YUVRowToPacked_NEON(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                         int width, const YUVFixedDecode& k, int r, int g, int b) {
    yuvRowToPacked<NEONOps16>(y, u, v, dst, width, k, r, g, b);
}

void PackedKeepAlphaRow_NEON(uint8_t* dst, const uint32_t* colour, int width, uint32_t alphaMask) {
    const uint32x4_t keep = vdupq_n_u32(alphaMask);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        uint32_t* d = reinterpret_cast<uint32_t*>(dst + 4 * x);
        vst1q_u32(d, vbslq_u32(keep, vld1q_u32(d), vld1q_u32(colour + x)));
    }
    PackedKeepAlphaRow_C(dst + 4 * x, colour + x, width - x, alphaMask);
}

}  // namespace video
}  // namespace kelvo
