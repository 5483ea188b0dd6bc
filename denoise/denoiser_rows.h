// The denoiser's block kernels and block blends as plain functions, one set
// per instruction-set level, bit-exact with the portable set (the kernels
// of DenoiserFilterC). Each fast set lives in a file compiled for its
// instruction set and may run only where cpuFlags() has it: take the set
// from denoiserRows() or denoiserRowsFor(flags).
#pragma once

#include <cstdint>
#include <memory>

#include "denoise/denoiser_filter.h"
#include "system/cpu_features.h"

namespace kelvo {
namespace video {

struct DenoiserRows {
    // As the DenoiserFilter operations of the same names.
    void (*copyBlock16x16)(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride);
    uint32_t (*variance16x8)(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                             uint32_t* sse);
    BlockDecision (*denoiseBlock)(const uint8_t* reference, int referenceStride, uint8_t* out,
                                  int outStride, const uint8_t* source, int sourceStride,
                                  int motion, int strong, int* sumDiff);
    // As blendMovingBlock16x16 and blendStaticBlock16x16 (denoiser_blend.h).
    void (*blendMoving)(const uint8_t* reference, int referenceStride, const uint8_t* source,
                        int sourceStride, uint8_t* out, int outStride);
    void (*blendStatic)(const uint8_t* reference, int referenceStride, const uint8_t* source,
                        int sourceStride, uint8_t* out, int outStride, float staticWeight);
};

// Puts the rows of the build's architecture that need no flag outside
// `flags` into `rows`. Defined once per architecture, in <arch>/denoise_init.cpp
// beside this file (generic/ where the architecture has no rows).
void denoiserRowsInitArch(DenoiserRows& rows, CpuFlags flags);
// The fastest set that needs no flag outside `flags`.
DenoiserRows denoiserRowsFor(CpuFlags flags);
// denoiserRowsFor(cpuFlags()), filled on the first call. Thread-safe.
const DenoiserRows& denoiserRows();
// The block kernels of `rows` behind the DenoiserFilter interface.
std::unique_ptr<DenoiserFilter> denoiserFilterFor(const DenoiserRows& rows);

#define KELVO_DENOISER_ROWS(suffix)                                                               \
    void CopyBlock16x16_##suffix(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride); \
    uint32_t Variance16x8_##suffix(const uint8_t* a, int aStride, const uint8_t* b, int bStride,  \
                                   uint32_t* sse);                                                \
    BlockDecision DenoiseBlock_##suffix(const uint8_t* reference, int referenceStride,            \
                                        uint8_t* out, int outStride, const uint8_t* source,       \
                                        int sourceStride, int motion, int strong, int* sumDiff);
KELVO_DENOISER_ROWS(C)

}  // namespace video
}  // namespace kelvo
