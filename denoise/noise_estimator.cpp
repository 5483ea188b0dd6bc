#include "denoise/noise_estimator.h"

#include <algorithm>

#include "denoise/denoiser_model.h"

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
    if (run >= kNoiseStaticRun && meanLuma >= kNoiseLumaLow && meanLuma <= kNoiseLumaHigh) {
        const uint32_t normalised = variance / (lumaSum >> 10);
        noiseSum_ += std::min<uint32_t>(normalised, kNoiseVarianceCap);
        ++noisyBlocks_;
    }
}

void NoiseEstimator::resetLowVarRun(int blockIndex) {
    if (blockIndex < 0 || static_cast<size_t>(blockIndex) >= lowVarRuns_.size()) return;
    lowVarRuns_[blockIndex] = 0;
}

bool NoiseEstimator::updateNoiseLevel() {
    // One block in kDenoiserSampleInterval is sampled; enough of them must
    // have been static for the frame to say anything about noise.
    if (kNoiseStaticShare * blockColumns_ * blockRows_ /
                static_cast<double>(kDenoiserSampleInterval) >
            staticBlocks_ ||
        noisyBlocks_ == 0) {
        staticBlocks_ = 0;
        noisyBlocks_ = 0;
        noiseLevel_ = 0.0;
    } else {
        const uint32_t mean = noiseSum_ / noisyBlocks_;
        staticBlocks_ = 0;
        noisyBlocks_ = 0;
        constexpr double kShare = 1.0 / (kNoiseHistoryWeight + 1);  // 0.0625, exact
        noiseLevel_ =
            noiseLevel_ == 0.0 ? mean : (mean + kNoiseHistoryWeight * noiseLevel_) * kShare;
    }
    noiseSum_ = 0;
    return noiseLevel_ > kNoisyLevel;
}

uint32_t NoiseEstimator::lowVarRun(int blockIndex) const {
    if (blockIndex < 0 || static_cast<size_t>(blockIndex) >= lowVarRuns_.size()) return 0;
    return lowVarRuns_[blockIndex];
}

}  // namespace video
}  // namespace kelvo
