#include "denoise/denoiser_filter.h"

#include "denoise/denoiser_filter_c.h"
#include "denoise/denoiser_filter_x86.h"

namespace kelvo {
namespace video {

#if KELVO_DENOISER_X86

bool denoiserCpuHasSSE2() {
    return __builtin_cpu_supports("sse2");
}

bool denoiserCpuHasAVX2() {
    return __builtin_cpu_supports("avx2");
}

DenoiserFilterSSE2::~DenoiserFilterSSE2() = default;
DenoiserFilterAVX2::~DenoiserFilterAVX2() = default;

#endif

std::unique_ptr<DenoiserFilter> DenoiserFilter::create(bool detectCpu) {
#if KELVO_DENOISER_X86
    if (detectCpu) {
        if (denoiserCpuHasAVX2()) return std::make_unique<DenoiserFilterAVX2>();
        if (denoiserCpuHasSSE2()) return std::make_unique<DenoiserFilterSSE2>();
    }
#else
    (void)detectCpu;
#endif
    return std::make_unique<DenoiserFilterC>();
}

}  // namespace video
}  // namespace kelvo
