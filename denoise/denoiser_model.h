// The video denoiser's constants, defined once for its portable and SIMD
// kernels, the frame-level steps and the noise estimator. Compile-time
// constants, so the kernels fold them.
#pragma once

#include <cstdint>

namespace kelvo {
namespace video {

// The settings the denoiser takes, stored unchanged.
class DenoiserControls {
public:
    virtual void setMode(int mode) = 0;
    virtual void setLevel(int level) = 0;
    virtual void setAutoTrigger(bool noisy) = 0;
    // Forgets the reference, so the next frame becomes a new one.
    virtual void dropReference() = 0;

protected:
    ~DenoiserControls() = default;
};

// Block kernel (denoiseBlock), per sample with d = reference - source: |d|
// up to kDenoiserStillLimit takes the reference; otherwise the source moves
// toward it by kDenoiserAdjustments[band], band 0 up to
// kDenoiserBandLimits[0], 1 up to kDenoiserBandLimits[1], 2 above. Noisy
// video (strong) adds kDenoiserStrongStep to the limit and each adjustment.
constexpr int kDenoiserStillLimit = 3;
constexpr int kDenoiserBandLimits[2] = {7, 15};
constexpr int kDenoiserAdjustments[3] = {4, 5, 7};
constexpr int kDenoiserStrongStep = 1;
// Each column's sum of moves is capped at this before the block sum; a block
// whose |sum| passes the copy limit is judged moving (kCopyBlock).
constexpr int kDenoiserColumnSumCap = 127;
constexpr int denoiserCopyLimit(int strong) { return strong ? 448 : 96; }

// Frame analysis: one block in kDenoiserSampleInterval feeds the noise
// estimator; a block the kernel judged moving is a moving edge when its
// variance against the filtered block passes this times its position factor.
constexpr int kDenoiserSampleInterval = 41;
constexpr uint32_t kDenoiserMovingEdgeVariance = 512;

// Blend classes by frame size: below kDenoiserSmallFramePixels the static
// weight of the reference is 0.7 and the neighbour threshold 256; above,
// 0.5 with 448 below kDenoiserMidFramePixels and 512 from there.
constexpr int64_t kDenoiserSmallFramePixels = 640 * 480;
constexpr int64_t kDenoiserMidFramePixels = 1280 * 540;
constexpr float kDenoiserSmallFrameWeight = 0.7f;
constexpr float kDenoiserLargeFrameWeight = 0.5f;
constexpr int kDenoiserSmallFrameThreshold = 256;
constexpr int kDenoiserMidFrameThreshold = 448;
constexpr int kDenoiserLargeFrameThreshold = 512;
// A block with at least this many neighbours above the threshold moves.
constexpr int kDenoiserMovingNeighbours = 2;
// Moving blocks: truncate(reference x 0.1 + source x 0.9), in double.
constexpr double kDenoiserMovingReferenceWeight = 0.1;
constexpr double kDenoiserMovingSourceWeight = 0.9;

// Noise estimator: a sampled block counts once it has been static for
// kNoiseStaticRun frames in a row with a mean luma within the range; its
// normalised variance is capped. A frame says something only when at least
// kNoiseStaticShare of the sampled blocks were static. The level follows
// (new + kNoiseHistoryWeight x old) / (kNoiseHistoryWeight + 1); above
// kNoisyLevel the video is noisy.
constexpr uint32_t kNoiseStaticRun = 6;
constexpr uint32_t kNoiseLumaLow = 21;
constexpr uint32_t kNoiseLumaHigh = 219;
constexpr uint32_t kNoiseVarianceCap = 300;
constexpr double kNoiseStaticShare = 0.5;
constexpr int kNoiseHistoryWeight = 15;
constexpr double kNoisyLevel = 70.0;

}  // namespace video
}  // namespace kelvo
