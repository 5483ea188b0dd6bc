#include "frame/arm/plane_change_arm.h"

namespace kelvo {
namespace video {

void planeChangeRowsInitArch(PlaneChangeRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagNEON) rows = {addRowChange_NEON};
}

}  // namespace video
}  // namespace kelvo
