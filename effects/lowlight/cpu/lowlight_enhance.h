// Low-light enhancement on the CPU, computed as the GL low-light pass
// computes it: luma lifted along a log curve set by the frame's log-average
// luma, colour differences lifted by half as much, then the green high-pass
// sharpening. RGBA8 in, RGBA8 out.
#pragma once

#include <cstdint>
#include <vector>

#include "cpu/image.h"
#include "effects/lowlight/cpu/lowlight_enhance_rows.h"
#include "effects/lowlight/lowlight_model.h"

namespace kelvo {
namespace video {

class WorkerPool;

// Keeps the curve's gain table of the last log-average and per-band scratch
// rows that grow to the widest picture seen, so a stable size allocates
// nothing. Not thread-safe; one object per engine.
class LowlightEnhance {
public:
    explicit LowlightEnhance(const LowlightRows& rows = lowlightRows());

    // src and dst must be the same size and must not overlap (the pass reads
    // each pixel's neighbours). False, with nothing written, for null data,
    // a size mismatch or below 1x1, short strides, overlapping images, or
    // logMean <= 0. shape's strength and sharpen are clamped to 0..1 (NaN
    // counts as 1), its quiet weight to -1..1 (NaN: the low band's).
    // pool may be null (run inline).
    bool process(const ConstImageRGBA8& src, const ImageRGBA8& dst, float logMean, WorkerPool* pool,
                 LowlightShape shape = {});

private:
    LowlightRows rows_;
    LowlightGainTable gains_;
    float gainsLogMean_ = 0.0f;
    LowlightShape gainsShape_;
    std::vector<uint16_t> scratch_;
};

}  // namespace video
}  // namespace kelvo
