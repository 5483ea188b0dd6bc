// The 64-bit ARM rows of beauty_rows.h (NEON: every such processor has it).
#pragma once

#include "effects/beauty/cpu/beauty_rows.h"

namespace kelvo::video {

KELVO_BEAUTY_ROWS(NEON)

}  // namespace kelvo::video
