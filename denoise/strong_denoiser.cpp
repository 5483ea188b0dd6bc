#include "denoise/strong_denoiser.h"

#include <algorithm>
#include <cstdlib>

namespace kelvo {
namespace video {

namespace {

// For Gaussian differences of deviation s on static content, a 3x3 sum of
// absolute differences has mean 7.2 s, deviation 1.8 s and lower quartile
// 6.0 s. The ramp starts at twice the quartile (about 2.6 deviations above
// the mean) and takes the input as it is from three times it; the 3-pixel
// widening of the weights catches what this lets through at moving edges.
// Factors in 1/16 of the quartile, found on generated clips of people
// walking and of a still scene at two noise strengths:
constexpr int kLowPerQuartile = 32;
constexpr int kHighPerQuartile = 48;
constexpr double kQuartilePerSigma = 5.96;
// Weight of the input on static content, in 1/128: a noise variance of 1/15
// of the input's once settled. Smaller weights lose more to rounding than
// they gain.
constexpr int kMinWeight = 16;
// How far the binomial mean may move a source sample, in 1/64 of the
// quartile (about 0.4 deviations): enough to take the edge off the noise
// where the input is taken as it is, too little to blur edges or texture.
constexpr int kSmoothLimitPerQuartile = 4;
// Without noise a difference of a level or two per sample is already change.
constexpr int kLowFloor = 4;
constexpr int kSpanFloor = 6;

TemporalRamp rampFor(int quietSum) {
    const int low = std::max(kLowFloor, quietSum * kLowPerQuartile / 16);
    const int high = std::max(low + kSpanFloor, quietSum * kHighPerQuartile / 16);
    return makeTemporalRamp(low, high, kMinWeight);
}

template <typename Byte>
Byte* rowOf(const I420Planes<Byte>& p, int plane, int y) {
    return p.data[plane] + static_cast<std::ptrdiff_t>(y) * p.stride[plane];
}

int sad3x3(const uint8_t* s, int sStride, const uint8_t* r, int rStride, int x, int y) {
    int sum = 0;
    for (int dy = -1; dy <= 1; ++dy) {
        const uint8_t* sr = s + static_cast<std::ptrdiff_t>(y + dy) * sStride;
        const uint8_t* rr = r + static_cast<std::ptrdiff_t>(y + dy) * rStride;
        for (int dx = -1; dx <= 1; ++dx) sum += std::abs(sr[x + dx] - rr[x + dx]);
    }
    return sum;
}

}  // namespace

StrongTemporalDenoiser::StrongTemporalDenoiser(const TemporalRows& rows) : rows_(rows) {}

void StrongTemporalDenoiser::Scratch::resize(int width) {
    sums.assign(static_cast<size_t>(width) + 4, 0);
    blurs[0].assign(static_cast<size_t>(width) + 2, 0);
    blurs[1].assign(static_cast<size_t>(width + 1) / 2 + 2, 0);
    blurs[2].assign(blurs[1].size(), 0);
    for (auto& w : lumaWeights) w.assign(static_cast<size_t>(width) + 1, 0);
    coverWeights.assign(static_cast<size_t>(width + 1) / 2, 0);
    chromaWeights.assign(coverWeights.size(), 0);
}

void StrongTemporalDenoiser::resize(int width, int height) {
    width_ = std::max(1, width);
    height_ = std::max(1, height);
    scratch_.resize(std::max<size_t>(scratch_.size(), 1));
    for (Scratch& s : scratch_) s.resize(width_);
}

int StrongTemporalDenoiser::quietSum(const uint8_t* sa, int saStride, const uint8_t* ra,
                                     int raStride, const uint8_t* sb, int sbStride,
                                     const uint8_t* rb, int rbStride, int width, int height,
                                     int stepX, int stepY) {
    histogram_.fill(0);
    uint32_t count = 0;
    for (int y = 1; y + 1 < height; y += stepY)
        for (int x = 1; x + 1 < width; x += stepX) {
            int m = sad3x3(sa, saStride, ra, raStride, x, y);
            if (sb) m += sad3x3(sb, sbStride, rb, rbStride, x, y);
            ++histogram_[std::min<size_t>(static_cast<size_t>(m), histogram_.size() - 1)];
            ++count;
        }
    if (count == 0) return 0;
    // The lower quartile stays a measure of the noise while up to three
    // quarters of the picture moves.
    const uint32_t target = (count + 3) / 4;
    uint32_t seen = 0;
    for (size_t m = 0; m < histogram_.size(); ++m) {
        seen += histogram_[m];
        if (seen >= target) return static_cast<int>(m);
    }
    return static_cast<int>(histogram_.size() - 1);
}

void StrongTemporalDenoiser::denoise(const I420Planes<const uint8_t>& reference,
                                     const I420Planes<const uint8_t>& source,
                                     const I420Planes<uint8_t>& out, RowSplitter* splitter) {
    const int width = width_;
    const int height = height_;
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;

    const int lumaQuiet =
        quietSum(source.data[0], source.stride[0], reference.data[0], reference.stride[0], nullptr,
                 0, nullptr, 0, width, height, 16, 8);
    const int chromaQuiet = quietSum(
        source.data[1], source.stride[1], reference.data[1], reference.stride[1], source.data[2],
        source.stride[2], reference.data[2], reference.stride[2], chromaWidth, chromaHeight, 8, 4);
    noiseSigma_ = lumaQuiet / kQuartilePerSigma;
    const TemporalRamp lumaRamp = rampFor(lumaQuiet);
    const TemporalRamp chromaRamp = rampFor(chromaQuiet);

    const int lumaLimit = std::min(255, lumaQuiet * kSmoothLimitPerQuartile / 64);
    const int chromaLimit = std::min(255, chromaQuiet * kSmoothLimitPerQuartile / 64);
    const size_t slots = splitter ? static_cast<size_t>(std::max(1, splitter->slots())) : 1;
    while (scratch_.size() < slots) {
        scratch_.emplace_back();
        scratch_.back().resize(width);
    }
    // Each chroma row and its two luma rows depend on the input alone.
    splitRows(splitter, chromaHeight, 1, [&](int slot, int firstRow, int endRow) {
        Scratch& scratch = scratch_[static_cast<size_t>(slot)];
        uint16_t* sums = scratch.sums.data() + 2;
        // Column sums of rows y - 1..y + 1, edges repeated, then the side pads.
        auto columnSums = [&](int plane, int y, int rows, int n, uint16_t* blur, int accumulate) {
            const int above = std::max(y - 1, 0);
            const int below = std::min(y + 1, rows - 1);
            rows_.columnSums(rowOf(source, plane, above), rowOf(reference, plane, above),
                             rowOf(source, plane, y), rowOf(reference, plane, y),
                             rowOf(source, plane, below), rowOf(reference, plane, below), sums,
                             blur, n, accumulate);
            sums[-2] = sums[-1] = sums[0];
            sums[n + 1] = sums[n] = sums[n - 1];
            blur[-1] = blur[0];
            blur[n] = blur[n - 1];
        };
        for (int cy = firstRow; cy < endRow; ++cy) {
            const uint8_t* cover[2] = {scratch.lumaWeights[0].data(),
                                       scratch.lumaWeights[1].data()};
            for (int k = 0; k < 2; ++k) {
                const int y = 2 * cy + k;
                if (y >= height) {
                    cover[1] = cover[0];
                    break;
                }
                uint8_t* weights = scratch.lumaWeights[k].data();
                uint16_t* blur = scratch.blurs[0].data() + 1;
                columnSums(0, y, height, width, blur, 0);
                rows_.weights(sums, nullptr, weights, width, lumaRamp);
                weights[width] = weights[width - 1];
                rows_.blend(rowOf(reference, 0, y), rowOf(source, 0, y), blur, lumaLimit, weights,
                            rowOf(out, 0, y), width);
            }
            rows_.maxHalve(cover[0], cover[1], scratch.coverWeights.data(), chromaWidth);
            columnSums(1, cy, chromaHeight, chromaWidth, scratch.blurs[1].data() + 1, 0);
            columnSums(2, cy, chromaHeight, chromaWidth, scratch.blurs[2].data() + 1, 1);
            rows_.weights(sums, scratch.coverWeights.data(), scratch.chromaWeights.data(),
                          chromaWidth, chromaRamp);
            for (int plane = 1; plane < 3; ++plane)
                rows_.blend(rowOf(reference, plane, cy), rowOf(source, plane, cy),
                            scratch.blurs[plane].data() + 1, chromaLimit,
                            scratch.chromaWeights.data(), rowOf(out, plane, cy), chromaWidth);
        }
    });
}

}  // namespace video
}  // namespace kelvo
