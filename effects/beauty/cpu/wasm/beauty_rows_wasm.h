// The WebAssembly rows of beauty_rows.h (SIMD128: the build that has them is
// loaded only where it validates).
#pragma once

#include "effects/beauty/cpu/beauty_rows.h"

namespace kelvo::video {

KELVO_BEAUTY_ROWS(SIMD128)

}  // namespace kelvo::video
