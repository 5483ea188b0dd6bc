// Per-frame verdict whether the video is noisy, from the variances of blocks
// that the denoiser found static. One estimator per denoiser; not thread-safe.
//
// Per frame: updateNoiseLevel() once before the blocks are visited (it closes
// the statistics of the previous frame), then addBlock() or resetLowVarRun()
// for the sampled blocks. The noise level and the runs carry across frames.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvo {
namespace video {

class NoiseEstimator {
public:
    // Stores the frame size and starts new, zeroed low-variance runs for its
    // (width >> 4) x (height >> 4) blocks. Counters, noise sum and noise
    // level are kept, so a size change does not lose the history.
    void init(int width, int height);

    // Offers block i as static in this frame with its variance against the
    // reference and `lumaSum`, the sum of its 8x8 centre samples (rows and
    // columns 4-11). Once the block has been static for 6 frames and is
    // neither dark nor bright, variance / (lumaSum >> 10), at most 300, joins
    // the noise sum. An index outside the blocks of init is ignored.
    void addBlock(int blockIndex, uint32_t variance, uint32_t lumaSum);

    // Block i moved: its low-variance run starts again. Out-of-range: ignored.
    void resetLowVarRun(int blockIndex);

    // Folds the mean of the collected noise into the smoothed noise level
    // (or sets the level to 0 when too few blocks were static) and clears the
    // per-frame statistics. True when the level is above 70: the video is noisy.
    bool updateNoiseLevel();

    double noiseLevel() const { return noiseLevel_; }
    uint32_t lowVarRun(int blockIndex) const;

private:
    int width_ = 0;
    int height_ = 0;
    int blockRows_ = 0;
    int blockColumns_ = 0;
    uint32_t noisyBlocks_ = 0;
    uint32_t staticBlocks_ = 0;
    uint32_t noiseSum_ = 0;
    double noiseLevel_ = 0.0;  // 0.0: no history yet
    std::vector<uint32_t> lowVarRuns_;
};

}  // namespace video
}  // namespace kelvo
