// Architectures without colour enhancement rows: the portable ones stay.
#include "effects/color_enhance/cpu/color_enhance_rows.h"

namespace kelvo {
namespace video {

void colorEnhanceRowsInitArch(ColorEnhanceRows&, CpuFlags) {}

}  // namespace video
}  // namespace kelvo
