// Brightness statistics of one frame, the record of metadata kind 1 that
// IVideoProcessObserver::onDetectionResult hands out (cast the record with
// std::dynamic_pointer_cast<MetaDataFrameStats>).
#pragma once

#include <cstdint>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

enum {
    kMetadataKindFrameStats = 1,
};

// Filled by the brightness detector from a subsampled luma plane. The detector
// owns the record and refills it in place on every successful run, so every
// holder of a reference sees the latest frame's values; copy the fields to
// keep them. Not thread-safe: read it on the thread that processes frames.
class MetaDataFrameStats : public IMetaDataInfo {
public:
    MetaDataFrameStats() : IMetaDataInfo(kMetadataKindFrameStats) {}

    uint32_t histogram[256] = {};  // samples per luma value
    uint32_t mean = 0;             // sum / sampleCount, integer division
    uint32_t sum = 0;              // sum of the sampled luma values
    // width * height / (step * step): the nominal count, which exceeds the
    // samples visited when width or height is not a multiple of the step.
    uint32_t sampleCount = 0;
    uint8_t horizontalStepShift = 0;  // log2 of the column step
    uint8_t verticalStepShift = 0;    // log2 of the row step
    float darkFraction = 0.0f;        // share of samples with luma below 100
    float standardDeviation = 0.0f;   // of the sampled luma around mean
    float logAverage = 0.0f;          // geometric mean of luma / 255 + 0.001, in 0.001..1.001
    int64_t logSum = 0;               // sum of 1000 * ln(luma / 255 + 0.001), rounded up per sample
    int32_t median = 0;               // 50 % point; 120 when not found
    int32_t percentile5 = 0;          // 5 % point; 0 when not found
    int32_t percentile95 = 255;       // 95 % point; 255 when not found
};

}  // namespace video
}  // namespace kelvo
