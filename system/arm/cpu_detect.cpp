#include "system/cpu_features.h"

namespace kelvo {
namespace video {

// NEON (Advanced SIMD) is part of the AArch64 baseline: every such processor
// and operating system has it.
CpuFlags detectedCpuFlags() { return kCpuFlagNEON; }

}  // namespace video
}  // namespace kelvo
