// Automatic modes: per frame, the brightness statistics decide whether the
// scene is dark (low-light enhancement, denoiser) and whether the picture is
// noisy (denoiser trigger).
#include <memory>

#include "detect/metadata_frame_stats.h"
#include "effects/beauty/beauty_model.h"
#include "engine/video_process_engine_impl.h"
#include "frame/i420_video_frame.h"
#include "system/clock.h"
#include "render/render_engine.h"

namespace kelvo {
namespace video {

namespace {

constexpr uint32_t kBrightMeanAbove = 120;
constexpr double kBrightDarkShareBelow = 0.35;
constexpr int kDarkFramesForDarkScene = 15;
constexpr int64_t kHoldMs = 10000;
constexpr int kHoldBrightFrames = 50;
constexpr float kNoisyDeviation = 65.0f;
constexpr uint32_t kNoisyMedianMeanBound = 140;
constexpr uint32_t kNoisyLowPercentileBound = 35;

const MetaDataFrameStats* frameStats(const I420VideoFrame& frame,
                                     std::shared_ptr<IMetaDataInfo>* keep) {
    *keep = frame.metadata(kMetadataKindFrameStats);
    return dynamic_cast<const MetaDataFrameStats*>(keep->get());
}

bool isNoisy(const MetaDataFrameStats* stats) {
    if (stats == nullptr) return false;
    const uint32_t median = static_cast<uint32_t>(stats->median);
    const uint32_t low = static_cast<uint32_t>(stats->percentile5);
    return !(stats->standardDeviation > kNoisyDeviation) || stats->darkFraction > 0.0f ||
           (median <= kNoisyMedianMeanBound && stats->mean <= kNoisyMedianMeanBound &&
            low <= kNoisyLowPercentileBound);
}

}  // namespace

int VideoProcessEngineImpl::applyAutomaticAdjustments(
    const std::shared_ptr<I420VideoFrame>& frame) {
    if (!frame || frame->isEmpty()) return -6;
    if (!renderEngine_) return -1;
    RenderEngine& render = *renderEngine_;

    // Both verdicts are taken on every frame that has statistics, whatever
    // the modes, so that callers can read them through getInfo.
    std::shared_ptr<IMetaDataInfo> keep;
    const MetaDataFrameStats* stats = frameStats(*frame, &keep);
    const bool dark = decideDarkScene(frame);
    const bool noisy = isNoisy(stats);
    if (stats != nullptr) {
        lastDarkScene_ = dark ? 1 : 0;
        lastNoisy_ = noisy ? 1 : 0;
    }

    if (contains(kEffectLowLightEnhance) && lowlightEnhanceEnabled()) {
        if (lowlightEnhanceMode() == 0) {
            setVideoDenoiserMode(1);
            render.setLowlightDarkScene(dark);
        }
        if (lowlightEnhanceLevel() == 0) {
            render.setVideoDenoiserEnable(lowlightEnhanceMode() != 0 ? lowlightEnhanceEnabled()
                                                                    : darkScene_);
            setVideoDenoiserMode(1);
            setVideoDenoiserLevel(0);
        }
    }

    if (contains(kEffectVideoDenoiser) && !lowlightEnhanceEnabled() && videoDenoiserEnabled()) {
        if (videoDenoiserMode() == 0) render.setVideoDenoiserAutoNoisy(noisy);
        if (videoDenoiserLevel() == 1 && !beautyEnabled()) {
            // Level 1 turns the beauty effect into a plain smoother. The
            // automatic mode hands over the denoiser's enable state as the
            // manual mode does, so the smoother actually runs.
            render.setBeautyEnable(videoDenoiserEnabled());
            const BeautyParameters& smoother = kBeautyPlainSmoother;
            render.setBeautySmoothness(smoother.smoothness);
            render.setBeautyLightness(smoother.lightness);
            render.setBeautyRedness(smoother.redness);
            render.setBeautyContrast(smoother.contrast);
            render.setBeautySharpness(smoother.sharpness);
        }
    }
    return 0;
}

bool VideoProcessEngineImpl::decideDarkScene(const std::shared_ptr<I420VideoFrame>& frame) {
    if (!frame || frame->isEmpty()) return false;
    const int64_t nowMs = wallClockMs();
    const int64_t elapsed = nowMs - lastDarkMs_;
    std::shared_ptr<IMetaDataInfo> keep;
    const MetaDataFrameStats* stats = frameStats(*frame, &keep);
    if (stats == nullptr) return false;

    const bool bright = stats->mean > kBrightMeanAbove &&
                        static_cast<double>(stats->darkFraction) < kBrightDarkShareBelow;
    if (bright) {
        darkFrameCount_ = 0;
        if (darkScene_) {
            if (elapsed >= kHoldMs && holdFrameCount_ >= kHoldBrightFrames)
                darkScene_ = false;
            else
                ++holdFrameCount_;
        }
    } else {
        ++darkFrameCount_;
        lastDarkMs_ = nowMs;
        holdFrameCount_ = 0;
        if (darkFrameCount_ >= kDarkFramesForDarkScene) darkScene_ = true;
    }
    return darkScene_;
}

}  // namespace video
}  // namespace kelvo
