#include "cpu/yuv_output.h"

#include "frame/yuv_matrix.h"

#include "cpu/worker_pool.h"

namespace kelvo {
namespace video {

YUVOutput::YUVOutput(RowPath path) : yRow_(rgbaToYRowFor(path)), uvRow_(rgbaToUVRowFor(path)) {}

bool YUVOutput::convert(const ConstImageRGBA8& src, uint8_t* dstY, int strideY, uint8_t* dstU,
                        int strideU, uint8_t* dstV, int strideV, const YUVOutputCoeffs& coeffs,
                        WorkerPool* pool) const {
    const int w = src.width;
    const int h = src.height;
    const int cw = (w + 1) / 2;
    if (!src.data || !dstY || !dstU || !dstV || w < 1 || h < 1 || src.stride < 4 * w ||
        strideY < w || strideU < cw || strideV < cw) {
        return false;
    }
    auto band = [&](int, int begin, int end) {
        for (int row = begin; row < end; row += 2) {
            const uint8_t* s0 = src.data + static_cast<ptrdiff_t>(row) * src.stride;
            // An odd last row is its own pair.
            const uint8_t* s1 = row + 1 < h ? s0 + src.stride : s0;
            uvRow_(s0, s1, dstU + static_cast<ptrdiff_t>(row / 2) * strideU,
                   dstV + static_cast<ptrdiff_t>(row / 2) * strideV, w, coeffs);
            yRow_(s0, dstY + static_cast<ptrdiff_t>(row) * strideY, w, coeffs);
            if (row + 1 < h) {
                yRow_(s1, dstY + static_cast<ptrdiff_t>(row + 1) * strideY, w, coeffs);
            }
        }
    };
    forRows(pool, h, 2, band);
    return true;
}

YUVOutputCoeffs yuvOutputCoeffs(const YuvMatrix& matrix) {
    const YuvFixedCoeffs& f = matrix.fixed;
    return {{f.yR, f.yG, f.yB}, f.yBias, {f.uR, f.uG, f.uB}, {f.vR, f.vG, f.vB}, kYuvChromaBias};
}

}  // namespace video
}  // namespace kelvo
