// The statistics passes behind BrightnessDetectImpl::detect, in two forms
// with identical results: the portable one, a direct scan that is the
// reference, and the fast one. Internal to detect/.
#pragma once

#include <cstdint>

#include "detect/metadata_frame_stats.h"

namespace kelvo {
namespace video {

enum class BrightnessPass { kPortable, kFast };

// Overwrites every field of `stats` with the statistics of the plane (width x
// height bytes, rows width bytes apart), sampled every (1 << shift) columns
// and rows. The caller has checked width, height > 0 and that every sampled
// byte lies inside the plane. Pure function of its arguments.
void computeBrightnessStats(const uint8_t* luma, int width, int height, int shift,
                            BrightnessPass pass, MetaDataFrameStats& stats);

}  // namespace video
}  // namespace kelvo
