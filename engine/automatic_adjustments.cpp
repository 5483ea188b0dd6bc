#include "engine/automatic_adjustments.h"

#include <memory>

#include "detect/metadata_frame_stats.h"
#include "effects/beauty/beauty_model.h"
#include "frame/i420_video_frame.h"
#include "kelvo/video_process_engine.h"

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

bool missing(const I420VideoFrame* frame) { return frame == nullptr || frame->isEmpty(); }

}  // namespace

int AutomaticAdjustments::apply(const I420VideoFrame* frame, int64_t nowMs,
                                const AutomaticSettings& s, AutomaticTarget& target) {
    if (missing(frame)) return kResultInvalidArgument;

    // Both verdicts are taken on every frame that has statistics, whatever
    // the modes, so that callers can read them through getInfo.
    std::shared_ptr<IMetaDataInfo> keep;
    const MetaDataFrameStats* stats = frameStats(*frame, &keep);
    const bool dark = decideDarkScene(frame, nowMs);
    const bool noisy = isNoisy(stats);
    if (stats != nullptr) {
        lastDarkScene_ = dark ? 1 : 0;
        lastNoisy_ = noisy ? 1 : 0;
    }

    // The two blocks exclude each other (low light enabled or not), so the
    // denoiser mode written by the first cannot reach the second.
    if (s.lowlightSelected && s.lowlightEnhanceEnabled) {
        if (s.lowlightEnhanceMode == 0) {
            target.setVideoDenoiserMode(1);
            target.setLowlightDarkScene(dark);
        }
        if (s.lowlightEnhanceLevel == 0) {
            target.setVideoDenoiserEnable(s.lowlightEnhanceMode != 0 ? s.lowlightEnhanceEnabled
                                                                     : darkScene_);
            target.setVideoDenoiserMode(1);
            target.setVideoDenoiserLevel(0);
        }
    }

    if (s.denoiserSelected && !s.lowlightEnhanceEnabled && s.videoDenoiserEnabled) {
        if (s.videoDenoiserMode == 0) target.setVideoDenoiserAutoNoisy(noisy);
        if (s.videoDenoiserLevel == 1 && !s.beautyEnabled) {
            // Level 1 turns the beauty effect into a plain smoother. The
            // automatic mode hands over the denoiser's enable state as the
            // manual mode does, so the smoother actually runs.
            target.setBeautyEnable(s.videoDenoiserEnabled);
            const BeautyParameters& smoother = kBeautyPlainSmoother;
            target.setBeautySmoothness(smoother.smoothness);
            target.setBeautyLightness(smoother.lightness);
            target.setBeautyRedness(smoother.redness);
            target.setBeautyContrast(smoother.contrast);
            target.setBeautySharpness(smoother.sharpness);
        }
    }
    return kResultOk;
}

int64_t AutomaticAdjustments::advanceTo(int64_t nowMs) {
    if (clockStarted_ && nowMs > lastFrameMs_) clockMs_ += nowMs - lastFrameMs_;
    clockStarted_ = true;
    lastFrameMs_ = nowMs;
    return clockMs_;
}

bool AutomaticAdjustments::decideDarkScene(const I420VideoFrame* frame, int64_t nowMs) {
    if (missing(frame)) return false;
    const int64_t now = advanceTo(nowMs);
    const int64_t elapsed = now - lastDarkMs_;
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
        lastDarkMs_ = now;
        holdFrameCount_ = 0;
        if (darkFrameCount_ >= kDarkFramesForDarkScene) darkScene_ = true;
    }
    return darkScene_;
}

}  // namespace video
}  // namespace kelvo
