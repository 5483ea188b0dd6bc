#include <algorithm>
#include <cmath>

#include "effects/lowlight/cpu/lowlight_enhance_kernel.h"
#include "effects/lowlight/lowlight_model.h"
#include "system/portable_math.h"

namespace kelvo {
namespace video {

void fillLowlightGainTable(float logMean, float strength, float sharpen, float quiet,
                           LowlightGainTable& table) {
    // yNew = knee ln(1 + y / k) / ln(1 + knee / k), k = logMean / scale: the
    // curve meets the identity at the knee, above which luma is left alone.
    // Sampled at 1025 lumas, the logarithms' cost, and interpolated between.
    const double k = static_cast<double>(logMean) / kLowlightLogMeanScale;
    const double scale = kLowlightKnee / portable_math::log1p(kLowlightKnee / k);
    constexpr int n = 1024;
    // Strength 1 takes the curve's own gains, untouched by the blend.
    const bool partial = strength < 1.0f;
    const double s = strength;
    auto blend = [&](double g) { return partial ? 1.0 + s * (g - 1.0) : g; };
    double gain[n + 1];
    gain[0] = blend(scale / k);  // the limit at black
    for (int i = 1; i <= n; ++i) {
        const double y = static_cast<double>(i) / n;
        gain[i] = blend(scale * portable_math::log1p(y / k) / y);
    }
    for (int i = 0; i < LowlightGainTable::kSteps; ++i) {
        // The middle of the step's lumas as the row computes them (1/128
        // levels, each of three products rounded down).
        const double luma = (8.0 * i + 5.0) / 128.0;
        const double at = luma / 255.0 * n;
        double g = 1.0;
        if (at < kLowlightKnee * n) {
            const int j = static_cast<int>(at);
            g = gain[j] + (at - j) * (gain[j + 1] - gain[j]);
        }
        const double a = std::min(std::round((g + 1.0) * 1024.0), 65535.0);
        // Half a step more where the row's a c, rounded down, is not exact.
        const double b = g > 1.0 ? std::round((g - 1.0) * 4.0 * luma + 0.5) : 0.0;
        table.lift[i] = static_cast<uint32_t>(a) | static_cast<uint32_t>(2040.0 - b) << 16;
    }
    auto weight = [](float w) { return static_cast<int16_t>(std::lround(w * 8192.0f)); };
    const float scaled = sharpen < 1.0f ? sharpen : 1.0f;
    table.sharpenLow = weight(scaled * kLowlightSharpenLow);
    table.sharpenMid = weight(scaled * kLowlightSharpenMid);
    table.sharpenHigh = weight(scaled * kLowlightSharpenHigh);
    table.sharpenQuiet = weight(quiet);
}

void LowlightEnhanceRow_C(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                          uint8_t* dst, int width, const LowlightGainTable& gains,
                          uint16_t* greenSums) {
    lowlightRow<ScalarOps16>(prev, cur, next, dst, width, gains, greenSums);
}

LowlightRows lowlightRowsFor(CpuFlags flags) {
    LowlightRows rows = {LowlightEnhanceRow_C};
    lowlightRowsInitArch(rows, flags);
    return rows;
}

const LowlightRows& lowlightRows() {
    static const LowlightRows rows = lowlightRowsFor(cpuFlags());
    return rows;
}

}  // namespace video
}  // namespace kelvo
