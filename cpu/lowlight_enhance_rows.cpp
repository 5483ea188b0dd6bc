#include "cpu/lowlight_enhance_kernel.h"

namespace kelvo {
namespace video {

LowlightRowParams lowlightRowParams(float logMean) {
    LowlightRowParams p;
    p.k = logMean / 1.8f;
    p.curveScale = vlog<ScalarOps>(1.0f + 0.90f / p.k);
    return p;
}

void LowlightEnhanceRow_C(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                          uint8_t* dst, int width, const LowlightRowParams& p) {
    lowlightRow<ScalarOps>(prev, cur, next, dst, width, p);
}

LowlightRowFn lowlightRowFor(RowPath path) {
#if KELVO_CPU_X86
    if (path == RowPath::kAVX2 && rowPathSupported(path)) return LowlightEnhanceRow_AVX2;
    if (path == RowPath::kSSE2 && rowPathSupported(path)) return LowlightEnhanceRow_SSE2;
#else
    (void)path;
#endif
    return LowlightEnhanceRow_C;
}

}  // namespace video
}  // namespace kelvo
