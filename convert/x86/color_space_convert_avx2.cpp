// AVX2 rows of the packed-RGB converters, from the lane-set kernels.
#include "convert/x86/color_space_rows_x86.h"

#include "convert/packed_rows_kernel.h"
#include "cpu/vec16_avx2.h"

namespace kelvo {
namespace video {

void PackedRowToY_AVX2(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c) {
    packedRowToY<AVX2Ops16>(src, dstY, width, c);
}

void PackedRowPairToUV_AVX2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                            int width, const PackedRowCoeffs& c) {
    packedRowPairToUV<AVX2Ops16>(src0, src1, dstU, dstV, width, c);
}

}  // namespace video
}  // namespace kelvo

