// Architectures without beauty rows: the portable ones stay.
#include "effects/beauty/cpu/beauty_rows.h"

namespace kelvo::video {

void beautyRowsInitArch(BeautyRows&, CpuFlags) {}

}  // namespace kelvo::video
