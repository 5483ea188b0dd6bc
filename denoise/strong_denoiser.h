// The denoiser's strong level on whole I420 pictures: a recursive temporal
// filter whose weight is decided per pixel from the 3x3 sum of absolute
// differences between the current input and the previous output. Where that
// sum is what the noise alone explains, the output keeps most of the previous
// output; where it is clearly larger (motion), the output is the input as it
// is, so moving content leaves no trail. Chroma takes the largest weight of
// the luma samples it covers, raised further by its own U+V difference, so a
// colour change without a luma change does not trail either.
//
// How much difference "the noise alone explains" is measured on every frame:
// the lower quartile of the same 3x3 sums over a sparse grid of the frame,
// computed in portable integer code, so the result does not depend on the
// row variant.
//
// Ownership: holds only row buffers sized by resize() (the one call that
// allocates); planes belong to the caller. Not thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "denoise/temporal_rows.h"
#include "system/row_splitter.h"

namespace kelvo {
namespace video {

// Three planes of one I420 picture: Y, then U and V of (width + 1) / 2 by
// (height + 1) / 2 samples, each with its own row stride.
template <typename Byte>
struct I420Planes {
    Byte* data[3];
    int stride[3];
};

class StrongTemporalDenoiser {
public:
    explicit StrongTemporalDenoiser(const TemporalRows& rows = temporalRows());

    // Row buffers for pictures of width x height (both at least 1).
    void resize(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }

    // out = the filtered source, all three planes; reference is the previous
    // output. out must not overlap source or reference. Requires resize()
    // with this size first. Rows are split over `splitter` when given (the
    // first call with more slots than before allocates their row buffers);
    // the result does not depend on it.
    void denoise(const I420Planes<const uint8_t>& reference,
                 const I420Planes<const uint8_t>& source, const I420Planes<uint8_t>& out,
                 RowSplitter* splitter = nullptr);

    // The last frame's estimate of the luma noise: the standard deviation of
    // the input-minus-previous-output difference on static content, in 8-bit
    // levels (0 before the first frame).
    double noiseSigma() const { return noiseSigma_; }

private:
    // Lower quartile of the 3x3 sums on a grid of every `stepX`-th column and
    // `stepY`-th row of one plane (two planes summed when b is given).
    int quietSum(const uint8_t* sa, int saStride, const uint8_t* ra, int raStride,
                 const uint8_t* sb, int sbStride, const uint8_t* rb, int rbStride, int width,
                 int height, int stepX, int stepY);

    const TemporalRows rows_;
    int width_ = 0;
    int height_ = 0;
    double noiseSigma_ = 0;
    // Row buffers of one thread: column sums padded by two samples on each
    // side, binomial column sums of Y, U and V padded by one; two luma
    // weight rows padded by one sample, for chroma of odd widths; chroma
    // weights.
    struct Scratch {
        std::vector<uint16_t> sums;
        std::vector<uint16_t> blurs[3];
        std::vector<uint8_t> lumaWeights[2];
        std::vector<uint8_t> coverWeights;
        std::vector<uint8_t> chromaWeights;
        void resize(int width);
    };
    std::vector<Scratch> scratch_;
    std::array<uint32_t, 4096> histogram_{};
};

}  // namespace video
}  // namespace kelvo
