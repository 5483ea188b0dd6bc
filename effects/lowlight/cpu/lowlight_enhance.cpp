#include "effects/lowlight/cpu/lowlight_enhance.h"

#include <cstdint>

#include "cpu/worker_pool.h"

namespace kelvo {
namespace video {

LowlightEnhance::LowlightEnhance(const LowlightRows& rows) : rows_(rows) {}

bool LowlightEnhance::process(const ConstImageRGBA8& src, const ImageRGBA8& dst, float logMean,
                              WorkerPool* pool, LowlightShape shape) {
    const int w = src.width;
    const int h = src.height;
    if (!src.data || !dst.data || w < 1 || h < 1 || dst.width != w || dst.height != h ||
        src.stride < 4 * w || dst.stride < 4 * w || !(logMean > 0.0f)) {
        return false;
    }
    // Written pixels would be read again as neighbours of later rows.
    const uintptr_t srcBegin = reinterpret_cast<uintptr_t>(src.data);
    const uintptr_t dstBegin = reinterpret_cast<uintptr_t>(dst.data);
    const uintptr_t srcEnd = srcBegin + static_cast<uintptr_t>(src.stride) * (h - 1) + 4 * w;
    const uintptr_t dstEnd = dstBegin + static_cast<uintptr_t>(dst.stride) * (h - 1) + 4 * w;
    if (srcBegin < dstEnd && dstBegin < srcEnd) {
        return false;
    }
    auto clamp = [](float v, float low, float high, float nan) {
        return v < low ? low : v <= high ? v : v > high ? high : nan;
    };
    shape.strength = clamp(shape.strength, 0.0f, 1.0f, 1.0f);
    shape.sharpen = clamp(shape.sharpen, 0.0f, 1.0f, 1.0f);
    shape.quiet = clamp(shape.quiet, -1.0f, 1.0f, kLowlightSharpenLow);
    if (logMean != gainsLogMean_ || shape.strength != gainsShape_.strength ||
        shape.sharpen != gainsShape_.sharpen || shape.quiet != gainsShape_.quiet) {
        fillLowlightGainTable(logMean, shape.strength, shape.sharpen, shape.quiet, gains_);
        gainsLogMean_ = logMean;
        gainsShape_ = shape;
    }
    const size_t perBand = static_cast<size_t>(w) + 2;
    const int bands = pool ? pool->threads() : 1;
    if (scratch_.size() < perBand * bands) {
        scratch_.resize(perBand * bands);
    }
    auto band = [&](int index, int begin, int end) {
        uint16_t* sums = scratch_.data() + perBand * index;
        for (int row = begin; row < end; ++row) {
            // Neighbour rows clamp to the edge, as the texture sampler does.
            const uint8_t* prev =
                src.data + static_cast<ptrdiff_t>(row > 0 ? row - 1 : 0) * src.stride;
            const uint8_t* cur = src.data + static_cast<ptrdiff_t>(row) * src.stride;
            const uint8_t* next =
                src.data + static_cast<ptrdiff_t>(row + 1 < h ? row + 1 : h - 1) * src.stride;
            rows_.row(prev, cur, next, dst.data + static_cast<ptrdiff_t>(row) * dst.stride, w,
                      gains_, sums);
        }
    };
    forRows(pool, h, 1, band);
    return true;
}

}  // namespace video
}  // namespace kelvo
