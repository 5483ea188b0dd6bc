// Brightness detector of kind 1, "frame_brightness".
//
// Samples the luma plane on a grid whose step grows with the pixel count
// (1, 2, 4 or 8 in both directions, from 176x144, 352x288 and 640x480 pixels
// up) and fills its MetaDataFrameStats record with the histogram, mean,
// standard deviation, dark fraction, 5 / 50 / 95 % points and log average.
// Starts disabled. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>

#include "detect/detect_base.h"
#include "detect/metadata_frame_stats.h"

namespace kelvo {
namespace video {

class BrightnessDetectImpl : public IDetectBase {
public:
    BrightnessDetectImpl();

    // 0: the record holds this plane's statistics. −4: disabled. −6: data null,
    // dataKind not 1, width, height or size not positive, or the last sampled
    // byte lies at or beyond size. On failure the record keeps its values.
    int detect(int dataKind, int width, int height, const uint8_t* data, int size) override;

    // The detector's record (never empty), refilled in place by each run.
    std::shared_ptr<IMetaDataInfo> metadata() override;
    const std::shared_ptr<MetaDataFrameStats>& stats() const { return stats_; }

    // t[v] = ceil(1000 * ln(v / 255 + 0.001)), except t[119] = −760.
    static const int32_t* logTable();

private:
    std::shared_ptr<MetaDataFrameStats> stats_;
};

}  // namespace video
}  // namespace kelvo
