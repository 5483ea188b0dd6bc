// The WebAssembly rows of plane_change.h (SIMD128: the build that has them is
// loaded only where it validates).
#pragma once

#include "frame/plane_change.h"

namespace kelvo {
namespace video {

void addRowChange_SIMD128(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n);

}  // namespace video
}  // namespace kelvo
