#include "cpu/yuv_input.h"

#include <algorithm>
#include <cmath>

#include "cpu/worker_pool.h"

namespace kelvo {
namespace video {

namespace {

// The GL sampler (llvmpipe, and the 8-bit sub-texel precision GPUs have)
// filters 8-bit textures in fixed point: each axis weight is the
// coordinate's 8-bit fraction, and each of the two blends rounds back to an
// 8-bit texel value.
inline int blend8(int a, int b, int weight) {
    return a + (((b - a) * weight + 128) >> 8);
}

// One picture row of chroma in 8-bit units: the two texel rows the sampler
// reads for this row, blended first across (a quarter texel either side of
// a texel centre at half size), then down.
// The sampler's 8.8 fixed-point row position for picture row `row` in a
// texture of texHeight rows stretched over `height` rows. The float texture
// coordinate is truncated, so a position that lands exactly on a texel
// centre may come out one 256th short of it.
int fixedRowPosition(int row, int height, int texHeight) {
    const float v = (static_cast<float>(row) + 0.5f) / static_cast<float>(height);
    return static_cast<int>(v * static_cast<float>(texHeight) * 256.0f) - 128;
}

// One luma row as sampled: the plane's own row, or (where the position fell
// short of the texel centre) its blend with the row above.
const uint8_t* sampleLumaRow(const uint8_t* plane, int stride, int row, int height, int width,
                             uint8_t* scratch) {
    const int t = fixedRowPosition(row, height, height);
    const int t0 = t >> 8;
    const int fy = t & 0xff;
    const int r0 = std::min(std::max(t0, 0), height - 1);
    const int r1 = std::min(std::max(t0 + 1, 0), height - 1);
    const uint8_t* a = plane + static_cast<ptrdiff_t>(r0) * stride;
    if (fy == 0 || r0 == r1) {
        return a;
    }
    const uint8_t* b = plane + static_cast<ptrdiff_t>(r1) * stride;
    for (int x = 0; x < width; ++x) {
        scratch[x] = static_cast<uint8_t>(blend8(a[x], b[x], fy));
    }
    return scratch;
}

// One texel row blended across for every picture column: even columns sit
// 3/4 of the way from texel k - 1 to k, odd ones 1/4 of the way from k to
// k + 1; texels clamp at both edges. `padded` holds chromaWidth + 2 values.
void blendAcross(const uint8_t* texels, int chromaWidth, int width, int16_t* padded,
                 int16_t* out) {
    padded[0] = texels[0];
    for (int k = 0; k < chromaWidth; ++k) padded[k + 1] = texels[k];
    padded[chromaWidth + 1] = texels[chromaWidth - 1];
    const int pairs = width / 2;
    for (int k = 0; k < pairs; ++k) {
        out[2 * k] = static_cast<int16_t>(blend8(padded[k], padded[k + 1], 192));
        out[2 * k + 1] = static_cast<int16_t>(blend8(padded[k + 1], padded[k + 2], 64));
    }
    if (width & 1) {
        out[width - 1] = static_cast<int16_t>(blend8(padded[pairs], padded[pairs + 1], 192));
    }
}

// One picture row of chroma in 8-bit units: the two texel rows the sampler
// reads for this row, blended across, then down.
void sampleChromaRow(const uint8_t* plane, int stride, int chromaWidth, int chromaHeight,
                     int row, int height, int width, int16_t* scratch, float* out) {
    const int t = fixedRowPosition(row, height, chromaHeight);
    const int t0 = t >> 8;
    const int fy = t & 0xff;
    const int r0 = std::min(std::max(t0, 0), chromaHeight - 1);
    const int r1 = std::min(std::max(t0 + 1, 0), chromaHeight - 1);
    int16_t* padded = scratch;
    int16_t* top = padded + chromaWidth + 2;
    int16_t* bottom = top + width;
    blendAcross(plane + static_cast<ptrdiff_t>(r0) * stride, chromaWidth, width, padded, top);
    if (fy == 0 || r0 == r1) {
        for (int x = 0; x < width; ++x) out[x] = top[x];
        return;
    }
    blendAcross(plane + static_cast<ptrdiff_t>(r1) * stride, chromaWidth, width, padded, bottom);
    for (int x = 0; x < width; ++x) {
        out[x] = static_cast<float>(blend8(top[x], bottom[x], fy));
    }
}

}  // namespace

YUVInput::YUVInput(RowPath path) : row_(yuvToRGBARowFor(path)) {}

bool YUVInput::convert(const uint8_t* srcY, int strideY, const uint8_t* srcU, int strideU,
                       const uint8_t* srcV, int strideV, int chromaHeight,
                       const YUVInputRowParams& coeffs, const ImageRGBA8& dst,
                       WorkerPool* pool) {
    const int w = dst.width;
    const int h = dst.height;
    const int cw = (w + 1) / 2;
    if (!srcY || !srcU || !srcV || !dst.data || w < 1 || h < 1 || chromaHeight < 1 ||
        strideY < w || strideU < cw || strideV < cw || dst.stride < 4 * w) {
        return false;
    }
    const int bands = pool ? pool->threads() : 1;
    // Per band: two full-width chroma rows and one luma row (as floats),
    // and the blend rows of the chroma sampling.
    const size_t perBand = 3 * static_cast<size_t>(w);
    const size_t perBand16 = 2 * static_cast<size_t>(w) + cw + 2;
    if (scratch_.size() < perBand * bands) {
        scratch_.resize(perBand * bands);
    }
    if (scratch16_.size() < perBand16 * bands) {
        scratch16_.resize(perBand16 * bands);
    }
    auto band = [&](int index, int begin, int end) {
        float* u = scratch_.data() + perBand * index;
        float* v = u + w;
        uint8_t* lumaScratch = reinterpret_cast<uint8_t*>(v + w);
        int16_t* blendScratch = scratch16_.data() + perBand16 * index;
        for (int row = begin; row < end; ++row) {
            sampleChromaRow(srcU, strideU, cw, chromaHeight, row, h, w, blendScratch, u);
            sampleChromaRow(srcV, strideV, cw, chromaHeight, row, h, w, blendScratch, v);
            const uint8_t* y = sampleLumaRow(srcY, strideY, row, h, w, lumaScratch);
            row_(y, u, v,
                 dst.data + static_cast<ptrdiff_t>(row) * dst.stride, w, coeffs);
        }
    };
    forRows(pool, h, 1, band);
    return true;
}

}  // namespace video
}  // namespace kelvo
