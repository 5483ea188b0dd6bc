// SIMD128 rows of the packed-RGB converters, from the lane-set kernels.
#include "convert/wasm/color_space_rows_wasm.h"

#include "convert/packed_rows_kernel.h"
#include "cpu/vec16_wasm.h"

namespace kelvo {
namespace video {

void PackedRowToY_SIMD128(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c) {
    packedRowToY<WASMOps16>(src, dstY, width, c);
}

void PackedRowPairToUV_SIMD128(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                            int width, const PackedRowCoeffs& c) {
    packedRowPairToUV<WASMOps16>(src0, src1, dstU, dstV, width, c);
}

void YUVRowToPacked_SIMD128(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                         int width, const YUVFixedDecode& k, int r, int g, int b) {
    yuvRowToPacked<WASMOps16>(y, u, v, dst, width, k, r, g, b);
}

}  // namespace video
}  // namespace kelvo

