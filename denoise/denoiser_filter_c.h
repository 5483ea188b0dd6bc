// Portable C++ versions of the denoiser's block kernels; the reference that
// any faster variant must match bit for bit.
#pragma once

#include "denoise/denoiser_filter.h"

namespace kelvo {
namespace video {

class DenoiserFilterC final : public DenoiserFilter {
public:
    void copyBlock16x16(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) override;
    uint32_t variance16x8(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                          uint32_t* sse) override;
    BlockDecision denoiseBlock(const uint8_t* reference, int referenceStride, uint8_t* out,
                               int outStride, const uint8_t* source, int sourceStride, int motion,
                               int strong, int* sumDiff) override;
};

}  // namespace video
}  // namespace kelvo
