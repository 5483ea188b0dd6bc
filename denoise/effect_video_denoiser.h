// The chain's CPU effect (type 10): a recursive temporal filter on I420
// frames, in place. Levels 0 and 1: static 16x16 luma blocks are blended with
// the previous output, moving ones are taken almost entirely from the current
// frame; a noise estimator makes the block test stricter for noisy video;
// chroma is never changed. Level 2 and above: the strong filter
// (strong_denoiser.h), decided per pixel, with a strength that follows the
// measured noise, nothing taken from the previous frame where the picture
// moves, and chroma filtered with the same decisions.
//
// Ownership: the effect owns its kernels, its estimator, its block maps and
// the reference frame (the previous output, or after a reset the frame that
// caused it). Not thread-safe; used under the render engine's lock like every
// effect, and mode, level and trigger changes apply from the next Draw.
#pragma once

#include <memory>

#include "denoise/denoiser_blend.h"
#include "denoise/denoiser_filter.h"
#include "denoise/noise_estimator.h"
#include "denoise/strong_denoiser.h"
#include "render/effect_base.h"
#include "denoise/denoiser_model.h"

namespace kelvo {
namespace video {

class I420VideoFrame;

class EffectVideoDenoiser : public EffectBase, public DenoiserControls {
public:
    static constexpr int kEffectType = kEffectTypeVideoDenoiser;

    // Mode 0 (automatic), level 0, auto trigger on, no reference; disabled.
    EffectVideoDenoiser();
    ~EffectVideoDenoiser() override;

    // Back to the constructed state: mode 0, level 0, trigger on, new kernels
    // and a fresh estimator (noise history lost), no reference, so the next
    // frame starts over. `enabled` is kept.
    void init() override;
    // Nothing to free: the effect holds no GL resources.
    void release() override;

    // Status codes (render/effect_base.h):
    //  -4 (kDrawDisabled)  not enabled; the reference is dropped;
    //   1 (kDrawUnchanged) mode 0 with the auto trigger off; frame and
    //                      reference untouched;
    //  -6 (kDrawNoOutput)  null frame;
    //  -1 (kDrawFailed)    frame without pixel buffers, a luma plane too small
    //                      for its size and stride, or the output frame could
    //                      not be allocated; frame and reference untouched;
    //   0 (kDrawDone)      denoised in place, or the frame became the new
    //                      reference (first frame, or its width, height or
    //                      luma stride differs from the reference's, or the
    //                      level moved between 0-1 and 2) and passed
    //                      unchanged.
    // At level 2 the chroma planes must cover the frame's size too (-1 if
    // not). Once two frames are through, denoising reuses the planes of the
    // reference of two frames ago and allocates nothing.
    int Draw(std::shared_ptr<I420VideoFrame> frame) override;

    // 0: run only while the auto trigger is on; any other value: every frame.
    void setMode(int mode) override { mode_ = mode; }
    // 0 and 1: the block filter; 2 and above: the strong filter. Applies
    // from the next Draw.
    void setLevel(int level) override { level_ = level; }
    // Set from the frame statistics by the engine's automatic adjustments.
    void setAutoTrigger(bool noisy) override { autoTrigger_ = noisy; }
    // Forgets the reference, so the next frame becomes a new one.
    void dropReference() override;

    int mode() const { return mode_; }
    int level() const { return level_; }
    bool autoTrigger() const { return autoTrigger_; }
    // The current reference frame, or empty. Owned by the effect; read only.
    std::shared_ptr<const I420VideoFrame> referenceFrame() const { return reference_; }
    // Smoothed noise measure of the estimator (0 before any history).
    double noiseLevel() const { return estimator_.noiseLevel(); }
    // Level 2's estimate of the luma noise on the last frame, in levels.
    double noiseSigma() const { return strong_.noiseSigma(); }

private:
    // Makes `frame` the reference and builds the maps for its size.
    void reset(const std::shared_ptr<I420VideoFrame>& frame);
    int denoise(const std::shared_ptr<I420VideoFrame>& frame);
    int denoiseStrong(const std::shared_ptr<I420VideoFrame>& frame);
    // The output frame: the spare planes when free, else new ones.
    std::shared_ptr<I420VideoFrame> outputFrame(const I420VideoFrame& frame);
    // A frame of the stored size whose luma plane takes the reference stride;
    // null when allocation fails.
    std::shared_ptr<I420VideoFrame> lumaFrame(int strideU, int strideV);

    int width_ = 0;
    int height_ = 0;
    int blockRows_ = 0;
    int blockColumns_ = 0;
    int mode_ = 0;
    int level_ = 0;
    bool autoTrigger_ = true;
    std::unique_ptr<DenoiserFilter> filter_;
    NoiseEstimator estimator_;
    DenoiserBlockMaps maps_;
    std::shared_ptr<I420VideoFrame> reference_;
    // The previous reference, kept to become the next output frame.
    std::shared_ptr<I420VideoFrame> spare_;
    // Luma stride the reference's samples are laid out with; a frame with
    // another stride cannot be read against it.
    int referenceStride_ = 0;
    // Whether the reference's chroma holds the previous picture (level 2
    // output or a reset); the block filter leaves it unwritten.
    bool referenceChroma_ = false;
    StrongTemporalDenoiser strong_;
};

}  // namespace video
}  // namespace kelvo
