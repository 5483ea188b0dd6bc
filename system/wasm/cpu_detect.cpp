#include "system/cpu_features.h"

namespace kelvo {
namespace video {

// Only the SIMD128 build uses this folder, and a module with SIMD128
// instructions is only instantiated where the engine has them.
CpuFlags detectedCpuFlags() { return kCpuFlagSIMD128; }

}  // namespace video
}  // namespace kelvo
