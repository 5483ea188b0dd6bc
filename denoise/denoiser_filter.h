// Block kernels of the video denoiser: 16x16 luma blocks of 8-bit samples.
//
// Kernels follow libyuv's shape: each block pointer is followed by its row
// stride in bytes. Callers guarantee that every block addressed lies inside
// its plane. The kernels keep no state, allocate nothing and never fail; one
// instance may be used from several threads at once.
#pragma once

#include <cstdint>
#include <memory>

namespace kelvo {
namespace video {

// Outcome of DenoiserFilter::denoiseBlock.
enum BlockDecision : int {
    kCopyBlock = 0,    // block treated as moving
    kFilterBlock = 1,  // block treated as static
};

class DenoiserFilter {
public:
    virtual ~DenoiserFilter() = default;

    // Copies 16 rows of 16 bytes from src to dst.
    virtual void copyBlock16x16(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) = 0;

    // Variance of a - b over the 16 columns of rows 0, 2, ..., 14 of two 16x16
    // blocks: sse - (sum * sum >> 7), truncated to 32 bits. The sum of squared
    // differences goes to *sse unless it is null.
    virtual uint32_t variance16x8(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                                  uint32_t* sse) = 0;

    // Moves every source sample toward the co-located reference sample (the
    // previous output) and writes the result to out, always. The result lies
    // between source and reference, sample by sample. `motion` is unused
    // (callers pass 0); `strong` is 0 or 1 and widens the limits for noisy
    // video. *sumDiff (unless null) receives the absolute block difference;
    // above denoiserCopyLimit(strong) (denoiser_model.h) the block is
    // kCopyBlock.
    virtual BlockDecision denoiseBlock(const uint8_t* reference, int referenceStride, uint8_t* out,
                                       int outStride, const uint8_t* source, int sourceStride,
                                       int motion, int strong, int* sumDiff) = 0;

    // A new kernel set, owned by the caller; never null. With `detectCpu` the
    // kernels of denoiserRows() (the fastest this processor runs within
    // KELVO_CPU_MASK), else DenoiserFilterC; all give identical results.
    static std::unique_ptr<DenoiserFilter> create(bool detectCpu);
};

}  // namespace video
}  // namespace kelvo
