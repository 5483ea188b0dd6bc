#include "cpu/arm/yuv_input_rows_arm.h"
#include "cpu/vec16_neon.h"
#include "cpu/yuv_input_kernel.h"

namespace kelvo {
namespace video {

void ChromaAcrossRow_NEON(const uint8_t* padded, uint8_t* out, int width) {
    chromaAcrossRow<NEONOps16>(padded, out, width);
}

void YUVToRGBARow_NEON(const YUVInputLines& rows, uint8_t* dstRGBA, int width,
                       const YUVInputFixed& k) {
    yuvToRGBARow<NEONOps16>(rows, dstRGBA, width, k);
}

}  // namespace video
}  // namespace kelvo
