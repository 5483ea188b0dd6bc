#include "cpu/wasm/yuv_input_rows_wasm.h"
#include "cpu/vec16_wasm.h"
#include "cpu/yuv_input_kernel.h"

namespace kelvo {
namespace video {

void ChromaAcrossRow_SIMD128(const uint8_t* padded, uint8_t* out, int width) {
    chromaAcrossRow<WASMOps16>(padded, out, width);
}

void YUVToRGBARow_SIMD128(const YUVInputLines& rows, uint8_t* dstRGBA, int width,
                       const YUVInputFixed& k) {
    yuvToRGBARow<WASMOps16>(rows, dstRGBA, width, k);
}

}  // namespace video
}  // namespace kelvo
