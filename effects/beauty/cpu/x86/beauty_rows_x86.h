// The x86 rows of beauty_rows.h; call only where the CPU has the
// instruction set.
#pragma once

#include "effects/beauty/cpu/beauty_rows.h"

namespace kelvo::video {

KELVO_BEAUTY_ROWS(SSE2)
KELVO_BEAUTY_ROWS(AVX2)

}  // namespace kelvo::video
