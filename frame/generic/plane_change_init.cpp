// Architectures without plane-change rows: the portable one stays.
#include "frame/plane_change.h"

namespace kelvo {
namespace video {

void planeChangeRowsInitArch(PlaneChangeRows&, CpuFlags) {}

}  // namespace video
}  // namespace kelvo
