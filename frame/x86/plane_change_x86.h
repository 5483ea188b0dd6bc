// The x86 rows of plane_change.h; call only where the CPU has the
// instruction set.
#pragma once

#include "frame/plane_change.h"

namespace kelvo {
namespace video {

void addRowChange_SSE2(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n);

}  // namespace video
}  // namespace kelvo
