// The 64-bit ARM rows of yuv_input_rows.h (NEON: every such processor has
// it).
#pragma once

#include "cpu/yuv_input_rows.h"

namespace kelvo {
namespace video {

void ChromaAcrossRow_NEON(const uint8_t* padded, uint8_t* out, int width);
void YUVToRGBARow_NEON(const YUVInputLines& rows, uint8_t* dstRGBA, int width,
                       const YUVInputFixed& k);

}  // namespace video
}  // namespace kelvo
