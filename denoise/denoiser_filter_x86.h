// x86 variants of the denoiser's block kernels, bit-exact with
// DenoiserFilterC. Each lives in its own file compiled for its instruction
// set; nothing here may run on a processor that lacks it, so callers go
// through DenoiserFilter::create or check cpuHas...() first.
#pragma once

#include "denoise/denoiser_filter.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KELVO_DENOISER_X86 1
#else
#define KELVO_DENOISER_X86 0
#endif

namespace kelvo {
namespace video {

#if KELVO_DENOISER_X86

// Whether this processor runs the variant (CPUID, cached by the runtime).
bool denoiserCpuHasSSE2();
bool denoiserCpuHasAVX2();

class DenoiserFilterSSE2 final : public DenoiserFilter {
public:
    // Defined with the factory, so that the vtable and destructor are built
    // without SSE2-only flags.
    ~DenoiserFilterSSE2() override;
    void copyBlock16x16(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) override;
    uint32_t variance16x8(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                          uint32_t* sse) override;
    BlockDecision denoiseBlock(const uint8_t* reference, int referenceStride, uint8_t* out,
                               int outStride, const uint8_t* source, int sourceStride, int motion,
                               int strong, int* sumDiff) override;
};

class DenoiserFilterAVX2 final : public DenoiserFilter {
public:
    ~DenoiserFilterAVX2() override;
    void copyBlock16x16(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) override;
    uint32_t variance16x8(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                          uint32_t* sse) override;
    BlockDecision denoiseBlock(const uint8_t* reference, int referenceStride, uint8_t* out,
                               int outStride, const uint8_t* source, int sourceStride, int motion,
                               int strong, int* sumDiff) override;
};

#endif  // KELVO_DENOISER_X86

}  // namespace video
}  // namespace kelvo
