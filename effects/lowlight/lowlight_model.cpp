#include "effects/lowlight/lowlight_model.h"

#include "effects/shader_constants.h"
#include "kelvo/metadata_frame_stats.h"
#include "frame/i420_video_frame.h"
#include "render/effect_base.h"

namespace kelvo {
namespace video {

int lowlightDrawDecision(int mode, bool darkScene, const std::shared_ptr<I420VideoFrame>& frame,
                         float* logMean) {
    if (mode == 0 && !darkScene) {
        return kDrawUnchanged;
    }
    if (frame) {
        auto stats =
            std::dynamic_pointer_cast<MetaDataFrameStats>(frame->metadata(kMetadataKindFrameStats));
        if (stats) {
            *logMean = stats->logAverage;
        }
    }
    if (*logMean < 0.0f) {
        return kDrawNoOutput;
    }
    if (static_cast<double>(*logMean) < kLowlightMinLogMean) {
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
