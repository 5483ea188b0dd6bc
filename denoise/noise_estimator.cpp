#include "denoise/noise_estimator.h"

#include <algorithm>

namespace kelvo {
namespace video {

void NoiseEstimator::init(int width, int height) {
    width_ = width;
    height_ = height;
    blockColumns_ = std::max(0, width >> 4);
    blockRows_ = std::max(0, height >> 4);
    lowVarRuns_.assign(static_cast<size_t>(blockColumns_) * static_cast<size_t>(blockRows_), 0u);
}

void NoiseEstimator::addBlock(int blockIndex, uint32_t variance, uint32_t lumaSum) {
    if (blockIndex < 0 || static_cast<size_t>(blockIndex) >= lowVarRuns_.size()) return;
    const uint32_t run = ++lowVarRuns_[blockIndex];
    ++staticBlocks_;
    const uint32_t meanLuma = lumaSum >> 6;
    // The luma range keeps lumaSum >> 10 at 1 or more.
    if (run >= 6 && meanLuma >= 21 && meanLuma <= 219) {
        const uint32_t normalised = variance / (lumaSum >> 10);
        noiseSum_ += std::min<uint32_t>(normalised, 300);
        ++noisyBlocks_;
    }
}

void NoiseEstimator::resetLowVarRun(int blockIndex) {
    if (blockIndex < 0 || static_cast<size_t>(blockIndex) >= lowVarRuns_.size()) return;
    lowVarRuns_[blockIndex] = 0;
}

bool NoiseEstimator::updateNoiseLevel() {
    // One block in 41 is sampled; at least half of the sampled blocks must
    // have been static for the frame to say anything about noise.
    if (0.5 * blockColumns_ * blockRows_ / 41.0 > staticBlocks_ || noisyBlocks_ == 0) {
        staticBlocks_ = 0;
        noisyBlocks_ = 0;
        noiseLevel_ = 0.0;
    } else {
        const uint32_t mean = noiseSum_ / noisyBlocks_;
        staticBlocks_ = 0;
        noisyBlocks_ = 0;
        noiseLevel_ = noiseLevel_ == 0.0 ? mean : (mean + 15 * noiseLevel_) * 0.0625;
    }
    noiseSum_ = 0;
    return noiseLevel_ > 70.0;
}

uint32_t NoiseEstimator::lowVarRun(int blockIndex) const {
    if (blockIndex < 0 || static_cast<size_t>(blockIndex) >= lowVarRuns_.size()) return 0;
    return lowVarRuns_[blockIndex];
}

}  // namespace video
}  // namespace kelvo
