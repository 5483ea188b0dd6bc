// The 64-bit ARM rows of plane_change.h (NEON: every such processor has it).
#pragma once

#include "frame/plane_change.h"

namespace kelvo {
namespace video {

void addRowChange_NEON(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n);

}  // namespace video
}  // namespace kelvo
