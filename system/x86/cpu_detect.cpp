#include "system/cpu_features.h"

namespace kelvo {
namespace video {

CpuFlags detectedCpuFlags() {
    CpuFlags flags = 0;
    // GCC's check of AVX2 includes the operating system's saving of the
    // 256-bit registers.
    if (__builtin_cpu_supports("sse2")) flags |= kCpuFlagSSE2;
    if (__builtin_cpu_supports("avx2")) flags |= kCpuFlagAVX2;
    return flags;
}

}  // namespace video
}  // namespace kelvo
