#include "effects/lowlight/lowlight_model.h"

#include <algorithm>

#include "effects/shader_constants.h"
#include "kelvo/metadata_frame_stats.h"
#include "frame/i420_video_frame.h"
#include "render/effect_base.h"

namespace kelvo {
namespace video {

double lowlightTargetStrength(double meanLuma) {
    const double t = std::clamp(
        (meanLuma - kLowlightFullLiftMean) / (kLowlightNoLiftMean - kLowlightFullLiftMean), 0.0,
        1.0);
    return 1.0 - t * t * (3.0 - 2.0 * t);
}

void LowlightStrength::setAdaptive(bool on) {
    if (on != adaptive_) reset();
    adaptive_ = on;
}

void LowlightStrength::observe(const MetaDataFrameStats& stats, bool drawn) {
    if (!adaptive_ || stats.sampleCount == 0) return;
    const double target =
        lowlightTargetStrength(static_cast<double>(stats.sum) / stats.sampleCount);
    if (followed_ < 0.0 || target <= followed_) {
        followed_ = target;
    } else if (drawn) {
        followed_ += (target - followed_) * kLowlightStrengthFollow;
    }
}

LowlightShape LowlightStrength::shape() const {
    LowlightShape shape;
    if (!adaptive_) return shape;
    shape.strength = value();
    shape.sharpen = kLowlightAdaptiveSharpen * shape.strength;
    shape.quiet = kLowlightAdaptiveQuiet * shape.strength;
    return shape;
}

int lowlightDrawDecision(int mode, bool darkScene, const std::shared_ptr<I420VideoFrame>& frame,
                         float* logMean, LowlightStrength* strength) {
    std::shared_ptr<MetaDataFrameStats> stats;
    if (frame) {
        stats =
            std::dynamic_pointer_cast<MetaDataFrameStats>(frame->metadata(kMetadataKindFrameStats));
    }
    const bool drawn = mode != 0 || darkScene;
    if (stats && strength) {
        strength->observe(*stats, drawn);
    }
    if (!drawn) {
        return kDrawUnchanged;
    }
    if (stats) {
        *logMean = stats->logAverage;
    }
    if (*logMean < 0.0f) {
        return kDrawNoOutput;
    }
    if (static_cast<double>(*logMean) < kLowlightMinLogMean) {
        return kDrawUnchanged;
    }
    if (strength && strength->value() < kLowlightMinStrength) {
        return kDrawUnchanged;
    }
    return kDrawDone;
}

std::string withLowlightConstants(const char* source) {
    return withShaderConstants(
        source,
        "Low-light constants: luma weights, the curve's knee and log-mean scale, the black "
        "floor, nine-tap weight, high-pass bands and sharpening weights",
        {{"lumaRed", kLowlightLuma[0]},
         {"lumaGreen", kLowlightLuma[1]},
         {"lumaBlue", kLowlightLuma[2]},
         {"knee", static_cast<float>(kLowlightKnee)},
         {"logMeanScale", static_cast<float>(kLowlightLogMeanScale)},
         {"blackLuma", kLowlightBlackLuma},
         {"boxWeight", kNineTapWeight},
         {"threshold_L", kHighPassThresholdLow},
         {"threshold_M", kHighPassThresholdMid},
         {"weight_L", kLowlightSharpenLow},
         {"weight_M", kLowlightSharpenMid},
         {"weight_H", kLowlightSharpenHigh}});
}

}  // namespace video
}  // namespace kelvo
