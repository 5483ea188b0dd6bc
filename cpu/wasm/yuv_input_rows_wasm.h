// The WebAssembly rows of yuv_input_rows.h (SIMD128: the build that has them
// is loaded only where it validates).
#pragma once

#include "cpu/yuv_input_rows.h"

namespace kelvo {
namespace video {

void ChromaAcrossRow_SIMD128(const uint8_t* padded, uint8_t* out, int width);
void YUVToRGBARow_SIMD128(const YUVInputLines& rows, uint8_t* dstRGBA, int width,
                          const YUVInputFixed& k);

}  // namespace video
}  // namespace kelvo
