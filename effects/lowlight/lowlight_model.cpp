#include "effects/lowlight/lowlight_model.h"

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
        auto stats = std::dynamic_pointer_cast<MetaDataFrameStats>(
            frame->metadata(kMetadataKindFrameStats));
        if (stats) {
            *logMean = stats->logAverage;
        }
    }
    if (*logMean < 0.0f) {
        return kDrawNoOutput;
    }
    // Almost black: the curve would only amplify noise.
    if (static_cast<double>(*logMean) < 0.008) {
        return kDrawUnchanged;
    }
    return kDrawDone;
}

}  // namespace video
}  // namespace kelvo
