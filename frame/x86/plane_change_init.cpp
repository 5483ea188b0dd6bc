#include "frame/x86/plane_change_x86.h"

namespace kelvo {
namespace video {

void planeChangeRowsInitArch(PlaneChangeRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSSE2) rows = {addRowChange_SSE2};
}

}  // namespace video
}  // namespace kelvo
