#include "denoise/denoiser_filter.h"

#include "denoise/denoiser_blend.h"
#include "denoise/denoiser_filter_c.h"
#include "denoise/denoiser_rows.h"

namespace kelvo {
namespace video {

namespace {

// The kernels of a row set behind the virtual interface: one indirect call
// per 16x16 block.
class DenoiserFilterRows final : public DenoiserFilter {
public:
    explicit DenoiserFilterRows(const DenoiserRows& rows) : rows_(rows) {}
    void copyBlock16x16(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) override {
        rows_.copyBlock16x16(src, srcStride, dst, dstStride);
    }
    uint32_t variance16x8(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                          uint32_t* sse) override {
        return rows_.variance16x8(a, aStride, b, bStride, sse);
    }
    BlockDecision denoiseBlock(const uint8_t* reference, int referenceStride, uint8_t* out,
                               int outStride, const uint8_t* source, int sourceStride, int motion,
                               int strong, int* sumDiff) override {
        return rows_.denoiseBlock(reference, referenceStride, out, outStride, source, sourceStride,
                                  motion, strong, sumDiff);
    }

private:
    const DenoiserRows rows_;
};

}  // namespace

DenoiserRows denoiserRowsFor(CpuFlags flags) {
    DenoiserRows rows = {CopyBlock16x16_C, Variance16x8_C, DenoiseBlock_C, blendMovingBlock16x16,
                         blendStaticBlock16x16};
    denoiserRowsInitArch(rows, flags);
    return rows;
}

const DenoiserRows& denoiserRows() {
    static const DenoiserRows rows = denoiserRowsFor(cpuFlags());
    return rows;
}

std::unique_ptr<DenoiserFilter> denoiserFilterFor(const DenoiserRows& rows) {
    return std::make_unique<DenoiserFilterRows>(rows);
}

std::unique_ptr<DenoiserFilter> DenoiserFilter::create(bool detectCpu) {
    if (detectCpu && denoiserRows().denoiseBlock != DenoiseBlock_C)
        return denoiserFilterFor(denoiserRows());
    return std::make_unique<DenoiserFilterC>();
}

}  // namespace video
}  // namespace kelvo
