// Architectures without instruction-set rows: nothing to detect.
#include "system/cpu_features.h"

namespace kelvo {
namespace video {

CpuFlags detectedCpuFlags() { return 0; }

}  // namespace video
}  // namespace kelvo
