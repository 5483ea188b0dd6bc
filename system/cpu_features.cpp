#include "system/cpu_features.h"

#include <cstdlib>
#include <strings.h>

namespace kelvo {
namespace video {

namespace {

constexpr CpuFlags kAllCpuFlags = kCpuFlagSSE2 | kCpuFlagAVX2 | kCpuFlagNEON | kCpuFlagSIMD128;

}  // namespace

CpuFlags cpuMaskFromText(const char* text) {
    if (!text || *text == '\0') return kAllCpuFlags;
    for (const CpuLevel& level : kCpuLevels) {
        if (strcasecmp(text, level.name) == 0) return level.flags;
    }
    if (strcasecmp(text, "none") == 0) return 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 0);
    if (*text != '-' && *end == '\0') return static_cast<CpuFlags>(value) & kAllCpuFlags;
    return 0;
}

CpuFlags cpuFlags() {
    static const CpuFlags flags =
        detectedCpuFlags() & cpuMaskFromText(std::getenv("KELVO_CPU_MASK"));
    return flags;
}

}  // namespace video
}  // namespace kelvo
