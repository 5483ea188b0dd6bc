// The x86 rows of yuv_input_rows.h; call only where the CPU has the
// instruction set.
#pragma once

#include "cpu/yuv_input_rows.h"

namespace kelvo {
namespace video {

void ChromaAcrossRow_SSE2(const uint8_t* padded, uint8_t* out, int width);
void ChromaAcrossRow_AVX2(const uint8_t* padded, uint8_t* out, int width);
void YUVToRGBARow_SSE2(const YUVInputLines& rows, uint8_t* dstRGBA, int width,
                       const YUVInputFixed& k);
void YUVToRGBARow_AVX2(const YUVInputLines& rows, uint8_t* dstRGBA, int width,
                       const YUVInputFixed& k);

}  // namespace video
}  // namespace kelvo
