#include "cpu/yuv_output.h"

#include "cpu/worker_pool.h"

namespace kelvo {
namespace video {

YUVOutput::YUVOutput(const PackedRows& rows) : rows_(rows) {}

bool YUVOutput::convert(const ConstImageRGBA8& src, uint8_t* dstY, int strideY, uint8_t* dstU,
                        int strideU, uint8_t* dstV, int strideV, const YUVFixedCoeffs& coeffs,
                        WorkerPool* pool) const {
    const int w = src.width;
    const int h = src.height;
    const int cw = (w + 1) / 2;
    if (!src.data || !dstY || !dstU || !dstV || w < 1 || h < 1 || src.stride < 4 * w ||
        strideY < w || strideU < cw || strideV < cw) {
        return false;
    }
    const PackedRowCoeffs c = packedRowCoeffs(PackedOrder::kABGR, coeffs);
    auto band = [&](int, int begin, int end) {
        for (int row = begin; row < end; row += 2) {
            const uint8_t* s0 = src.data + static_cast<ptrdiff_t>(row) * src.stride;
            // An odd last row is its own pair.
            const uint8_t* s1 = row + 1 < h ? s0 + src.stride : s0;
            rows_.toUV(s0, s1, dstU + static_cast<ptrdiff_t>(row / 2) * strideU,
                       dstV + static_cast<ptrdiff_t>(row / 2) * strideV, w, c);
            rows_.toY(s0, dstY + static_cast<ptrdiff_t>(row) * strideY, w, c);
            if (row + 1 < h) {
                rows_.toY(s1, dstY + static_cast<ptrdiff_t>(row + 1) * strideY, w, c);
            }
        }
    };
    forRows(pool, h, 2, band);
    return true;
}

}  // namespace video
}  // namespace kelvo
