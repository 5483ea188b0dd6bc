#include "frame/wasm/plane_change_wasm.h"

namespace kelvo {
namespace video {

void planeChangeRowsInitArch(PlaneChangeRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSIMD128) rows = {addRowChange_SIMD128};
}

}  // namespace video
}  // namespace kelvo
