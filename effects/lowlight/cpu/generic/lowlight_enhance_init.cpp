// Architectures without low-light rows: the portable ones stay.
#include "effects/lowlight/cpu/lowlight_enhance_rows.h"

namespace kelvo {
namespace video {

void lowlightRowsInitArch(LowlightRows&, CpuFlags) {}

}  // namespace video
}  // namespace kelvo
