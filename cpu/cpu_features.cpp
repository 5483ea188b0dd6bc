#include "cpu/cpu_features.h"

#include "cpu/vec.h"

namespace kelvo {
namespace video {

bool rowPathSupported(RowPath path) {
    switch (path) {
        case RowPath::kPortable: return true;
#if KELVO_CPU_X86
        case RowPath::kSSE2: return __builtin_cpu_supports("sse2");
        case RowPath::kAVX2: return __builtin_cpu_supports("avx2");
#else
        case RowPath::kSSE2:
        case RowPath::kAVX2: return false;
#endif
    }
    return false;
}

RowPath bestRowPath() {
    static const RowPath best = rowPathSupported(RowPath::kAVX2)   ? RowPath::kAVX2
                                : rowPathSupported(RowPath::kSSE2) ? RowPath::kSSE2
                                                                   : RowPath::kPortable;
    return best;
}

}  // namespace video
}  // namespace kelvo
