#include "detect/brightness_stats.h"

#include <cmath>

#include "detect/brightness_detect_impl.h"
#include "system/portable_math.h"

namespace kelvo {
namespace video {

namespace {

void SampleLumaRow(const uint8_t* src, int width, int step, const int32_t* logTable,
                   uint32_t* histogram, uint32_t* sum, int64_t* logSum) {
    for (int x = 0; x < width; x += step) {
        const uint8_t v = src[x];
        histogram[v] += 1;
        *sum += v;
        *logSum += logTable[v];
    }
}

// Accumulates in single precision, carried across rows so that the order of
// additions is that of one scan over all samples.
float SquaredDeviationRow(const uint8_t* src, int width, int step, int mean, float acc) {
    for (int x = 0; x < width; x += step) {
        const int d = src[x] - mean;
        acc += static_cast<float>(d * d);
    }
    return acc;
}

// Four histograms break the store-to-load chain of runs of equal samples.
void HistogramRow4(const uint8_t* src, int width, int step, uint32_t (*h)[256]) {
    int x = 0;
    for (; x + 3 * step < width; x += 4 * step) {
        ++h[0][src[x]];
        ++h[1][src[x + step]];
        ++h[2][src[x + 2 * step]];
        ++h[3][src[x + 3 * step]];
    }
    for (; x < width; x += step) ++h[0][src[x]];
}

float SquaredDeviationRowTable(const uint8_t* src, int width, int step, const float* squares,
                               float acc) {
    for (int x = 0; x < width; x += step) acc += squares[src[x]];
    return acc;
}

void ResetRecord(MetaDataFrameStats& s, int shift) {
    s = MetaDataFrameStats();
    s.horizontalStepShift = static_cast<uint8_t>(shift);
    s.verticalStepShift = static_cast<uint8_t>(shift);
}

// Count, mean, log average and dark fraction from histogram, sum and log sum.
void MeanAndShares(MetaDataFrameStats& s, int64_t pixels, int shift) {
    // The caller's bounds check keeps the plane, and so the count, in 32 bits.
    s.sampleCount = static_cast<uint32_t>(pixels >> (2 * shift));
    s.mean = s.sum / s.sampleCount;
    s.logAverage = static_cast<float>(
        portable_math::exp(static_cast<double>(s.logSum) / (s.sampleCount * 1000.0)));
    float dark = 0.0f;
    for (int i = 0; i < 100; ++i) dark += static_cast<float>(s.histogram[i]);
    s.darkFraction = dark / static_cast<float>(s.sampleCount);
}

// Standard deviation from the squared deviations, then the percentiles.
void DeviationAndPercentiles(MetaDataFrameStats& s, float squares) {
    s.standardDeviation = std::sqrt(squares / static_cast<float>(s.sampleCount));

    // Each point is the last value whose cumulative count is still below its share.
    const float count = static_cast<float>(s.sampleCount);
    const float low = 0.05f * count;
    const float middle = 0.5f * count;
    const float high = 0.95f * count;
    s.percentile5 = 0;
    s.median = 120;
    s.percentile95 = 255;
    uint32_t cumulative = 0;
    for (int i = 0; i < 256; ++i) {
        cumulative += s.histogram[i];
        const float cum = static_cast<float>(cumulative);
        if (low > cum) s.percentile5 = i;
        if (middle > cum) s.median = i;
        if (!(high > cum)) break;
        s.percentile95 = i;
    }
}

void PortableStats(const uint8_t* data, int width, int height, int shift, MetaDataFrameStats& s) {
    const int step = 1 << shift;
    const int32_t* logTable = BrightnessDetectImpl::logTable();
    ResetRecord(s, shift);
    for (int y = 0; y < height; y += step) {
        SampleLumaRow(data + static_cast<int64_t>(y) * width, width, step, logTable, s.histogram,
                      &s.sum, &s.logSum);
    }
    MeanAndShares(s, static_cast<int64_t>(width) * height, shift);
    float squares = 0.0f;
    for (int y = 0; y < height; y += step) {
        squares = SquaredDeviationRow(data + static_cast<int64_t>(y) * width, width, step,
                                      static_cast<int>(s.mean), squares);
    }
    DeviationAndPercentiles(s, squares);
}

// The same numbers with less work per sample: only the histogram is built
// from the samples; sum and log sum follow from it exactly (the sum wraps
// modulo 2^32 either way). The single-precision squared deviations are added
// in scan order, except when their exact total is at most 2^24: then every
// partial sum of the scan is an exactly representable integer, and the scan
// would give that total.
void FastStats(const uint8_t* data, int width, int height, int shift, MetaDataFrameStats& s) {
    const int step = 1 << shift;
    const int32_t* logTable = BrightnessDetectImpl::logTable();
    ResetRecord(s, shift);
    uint32_t partial[4][256] = {};
    for (int y = 0; y < height; y += step)
        HistogramRow4(data + static_cast<int64_t>(y) * width, width, step, partial);
    for (int v = 0; v < 256; ++v) {
        const uint32_t n = partial[0][v] + partial[1][v] + partial[2][v] + partial[3][v];
        s.histogram[v] = n;
        s.sum += n * static_cast<uint32_t>(v);
        s.logSum += static_cast<int64_t>(n) * logTable[v];
    }
    MeanAndShares(s, static_cast<int64_t>(width) * height, shift);

    const int mean = static_cast<int>(s.mean);
    float squareOf[256];
    uint64_t exactTotal = 0;
    for (int v = 0; v < 256; ++v) {
        const int d = v - mean;
        squareOf[v] = static_cast<float>(d * d);
        exactTotal += static_cast<uint64_t>(s.histogram[v]) * static_cast<uint64_t>(d * d);
    }
    float squares = 0.0f;
    if (exactTotal <= (uint64_t{1} << 24)) {
        squares = static_cast<float>(exactTotal);
    } else {
        for (int y = 0; y < height; y += step)
            squares = SquaredDeviationRowTable(data + static_cast<int64_t>(y) * width, width, step,
                                               squareOf, squares);
    }
    DeviationAndPercentiles(s, squares);
}

}  // namespace

void computeBrightnessStats(const uint8_t* luma, int width, int height, int shift,
                            BrightnessPass pass, MetaDataFrameStats& stats) {
    if (pass == BrightnessPass::kFast)
        FastStats(luma, width, height, shift, stats);
    else
        PortableStats(luma, width, height, shift, stats);
}

}  // namespace video
}  // namespace kelvo
