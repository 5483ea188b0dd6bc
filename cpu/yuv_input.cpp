#include "cpu/yuv_input.h"

#include <algorithm>
#include <cstring>

#include "cpu/worker_pool.h"

namespace kelvo {
namespace video {

namespace {

// The sampler's 8.8 fixed-point row position for picture row `row` in a
// texture of texHeight rows stretched over `height` rows. The float texture
// coordinate is truncated, so a position that lands exactly on a texel
// centre may come out one 256th short of it.
int fixedRowPosition(int row, int height, int texHeight) {
    const float v = (static_cast<float>(row) + 0.5f) / static_cast<float>(height);
    return static_cast<int>(v * static_cast<float>(texHeight) * 256.0f) - 128;
}

// The two texel rows the sampler reads for a picture row, edge-clamped, and
// the second one's weight in 256ths.
struct RowPair {
    int r0, r1, weight;
};

RowPair rowPair(int row, int height, int texHeight) {
    const int t = fixedRowPosition(row, height, texHeight);
    const int t0 = t >> 8;
    return {std::min(std::max(t0, 0), texHeight - 1), std::min(std::max(t0 + 1, 0), texHeight - 1),
            t & 0xff};
}

// The last two texel rows of one chroma plane blended across. Picture rows
// walk down the texture, so each texel row is blended once per band.
class AcrossRows {
public:
    AcrossRows(uint8_t* rows, int width, uint8_t* padded)
        : rows_{rows, rows + width}, padded_(padded) {}

    // Texel row r (keeping row `keep` if it is held).
    const uint8_t* get(const uint8_t* plane, int stride, int chromaWidth, int width, int r,
                       int keep, ChromaAcrossRowFn across) {
        for (int i = 0; i < 2; ++i) {
            if (texel_[i] == r) return rows_[i];
        }
        const int i = texel_[0] == keep ? 1 : 0;
        const uint8_t* texels = plane + static_cast<ptrdiff_t>(r) * stride;
        padded_[0] = texels[0];
        std::memcpy(padded_ + 1, texels, chromaWidth);
        padded_[chromaWidth + 1] = texels[chromaWidth - 1];
        across(padded_, rows_[i], width);
        texel_[i] = r;
        return rows_[i];
    }

private:
    uint8_t* rows_[2];
    int texel_[2] = {-1, -1};
    uint8_t* padded_;
};

}  // namespace

YUVInput::YUVInput(const YUVInputRows& rows) : rows_(rows) {}

bool YUVInput::convert(const uint8_t* srcY, int strideY, const uint8_t* srcU, int strideU,
                       const uint8_t* srcV, int strideV, int chromaHeight,
                       const YUVInputRowParams& coeffs, const ImageRGBA8& dst, WorkerPool* pool,
                       RowsDone then, void* thenContext) {
    const int w = dst.width;
    const int h = dst.height;
    const int cw = (w + 1) / 2;
    if (!srcY || !srcU || !srcV || !dst.data || w < 1 || h < 1 || chromaHeight < 1 || strideY < w ||
        strideU < cw || strideV < cw || dst.stride < 4 * w) {
        return false;
    }
    const YUVInputFixed fixed = yuvInputFixed(coeffs);
    const int bands = pool ? pool->threads() : 1;
    // Per band: two blended rows for each chroma plane and a padded texel row.
    const size_t rowBytes = static_cast<size_t>(w);
    const size_t perBand = 4 * rowBytes + cw + 2;
    if (scratch_.size() < perBand * bands) {
        scratch_.resize(perBand * bands);
    }
    auto band = [&](int index, int begin, int end) {
        uint8_t* base = scratch_.data() + perBand * index;
        uint8_t* padded = base + 4 * rowBytes;
        AcrossRows u(base, w, padded), v(base + 2 * rowBytes, w, padded);
        for (int row = begin; row < end; ++row) {
            const RowPair l = rowPair(row, h, h);
            const RowPair c = rowPair(row, h, chromaHeight);
            YUVInputLines rows;
            rows.y0 = srcY + static_cast<ptrdiff_t>(l.r0) * strideY;
            rows.y1 = srcY + static_cast<ptrdiff_t>(l.r1) * strideY;
            rows.lumaWeight = l.weight;
            rows.u0 = u.get(srcU, strideU, cw, w, c.r0, c.r1, rows_.chromaAcross);
            rows.u1 = u.get(srcU, strideU, cw, w, c.r1, c.r0, rows_.chromaAcross);
            rows.v0 = v.get(srcV, strideV, cw, w, c.r0, c.r1, rows_.chromaAcross);
            rows.v1 = v.get(srcV, strideV, cw, w, c.r1, c.r0, rows_.chromaAcross);
            rows.chromaWeight = c.weight;
            rows_.toRGBA(rows, dst.data + static_cast<ptrdiff_t>(row) * dst.stride, w, fixed);
        }
        if (then) then(thenContext, begin, end);
    };
    forRows(pool, h, 2, band);
    return true;
}

}  // namespace video
}  // namespace kelvo
