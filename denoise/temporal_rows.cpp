#include "denoise/temporal_rows.h"

#include <algorithm>
#include <cstdlib>

namespace kelvo {
namespace video {

TemporalRamp makeTemporalRamp(int low, int high, int minWeight) {
    TemporalRamp ramp;
    low = std::clamp(low, 0, 4094);
    high = std::clamp(high, low + 1, 4095);
    minWeight = std::clamp(minWeight, 1, kTemporalWeightOne);
    ramp.low = static_cast<int16_t>(low);
    ramp.span = static_cast<int16_t>(high - low);
    // span * slope stays below 2^15, so the products fit signed 16-bit lanes.
    ramp.slope =
        static_cast<int16_t>(((kTemporalWeightOne - minWeight) << kTemporalSlopeBits) / ramp.span);
    ramp.minWeight = static_cast<int16_t>(minWeight);
    return ramp;
}

void columnSumsC(const uint8_t* s0, const uint8_t* r0, const uint8_t* s1, const uint8_t* r1,
                 const uint8_t* s2, const uint8_t* r2, uint16_t* sum, uint16_t* blur, int width,
                 int accumulate) {
    for (int x = 0; x < width; ++x) {
        const int d = std::abs(s0[x] - r0[x]) + std::abs(s1[x] - r1[x]) + std::abs(s2[x] - r2[x]);
        sum[x] = static_cast<uint16_t>((accumulate ? sum[x] : 0) + d);
        if (blur) blur[x] = static_cast<uint16_t>(s0[x] + 2 * s1[x] + s2[x]);
    }
}

void temporalWeightsC(const uint16_t* sum, const uint8_t* floor, uint8_t* weight, int width,
                      const TemporalRamp& ramp) {
    for (int x = 0; x < width; ++x) {
        int m = 0;
        for (int c = x - 1; c <= x + 1; ++c) m = std::max(m, sum[c - 1] + sum[c] + sum[c + 1]);
        int w = kTemporalWeightOne;
        if (m < ramp.low + ramp.span) {
            const int excess = std::clamp(m - ramp.low, 0, static_cast<int>(ramp.span));
            w = ramp.minWeight + ((excess * ramp.slope) >> kTemporalSlopeBits);
        }
        if (floor && floor[x] > w) w = floor[x];
        weight[x] = static_cast<uint8_t>(w);
    }
}

void temporalBlendC(const uint8_t* reference, const uint8_t* source, const uint16_t* blur,
                    int limit, const uint8_t* weight, uint8_t* out, int width) {
    for (int x = 0; x < width; ++x) {
        int s = source[x];
        if (blur) {
            const int mean =
                (blur[x - 1] + 2 * blur[x] + blur[x + 1] + (1 << kTemporalBinomialBits) / 2) >>
                kTemporalBinomialBits;
            s += std::clamp(mean - s, -limit, limit);
        }
        out[x] = static_cast<uint8_t>((reference[x] * (kTemporalWeightOne - weight[x]) +
                                       s * weight[x] + kTemporalWeightOne / 2) >>
                                      kTemporalWeightBits);
    }
}

void maxHalveC(const uint8_t* a, const uint8_t* b, uint8_t* out, int width) {
    for (int x = 0; x < width; ++x)
        out[x] = std::max(std::max(a[2 * x], a[2 * x + 1]), std::max(b[2 * x], b[2 * x + 1]));
}

namespace {

const TemporalRows kTemporalRowsC = {columnSumsC, temporalWeightsC, temporalBlendC, maxHalveC};

}  // namespace

TemporalRows temporalRowsFor(CpuFlags flags) {
    TemporalRows rows = kTemporalRowsC;
    temporalRowsInitArch(rows, flags);
    return rows;
}

const TemporalRows& temporalRows() {
    static const TemporalRows rows = temporalRowsFor(cpuFlags());
    return rows;
}

}  // namespace video
}  // namespace kelvo
