#include <cmath>
#include <cstring>

#include "effects/lowlight/cpu/lowlight_enhance_kernel.h"
#include "effects/lowlight/lowlight_model.h"
#include "system/portable_math.h"

namespace kelvo {
namespace video {

void fillLowlightGainTable(float logMean, float strength, float sharpen, float quiet,
                           LowlightGainTable& table) {
    // yNew = knee ln(1 + y / k) / ln(1 + knee / k), k = logMean / scale: the
    // curve meets the identity at the knee, above which luma is left alone.
    const double k = static_cast<double>(logMean) / kLowlightLogMeanScale;
    const double scale = kLowlightKnee / portable_math::log1p(kLowlightKnee / k);
    constexpr int n = LowlightGainTable::kSteps;
    // Strength 1 takes the curve's own gains, untouched by the blend.
    const bool partial = strength < 1.0f;
    const double s = strength;
    auto blend = [&](double g) { return static_cast<float>(partial ? 1.0 + s * (g - 1.0) : g); };
    float gain[n + 1];
    gain[0] = blend(scale / k);  // the limit at black
    for (int i = 1; i <= n; ++i) {
        const double y = static_cast<double>(i) / n;
        gain[i] = blend(scale * portable_math::log1p(y / k) / y);
    }
    const bool scaled = sharpen < 1.0f;
    table.sharpenLow = scaled ? sharpen * kLowlightSharpenLow : kLowlightSharpenLow;
    table.sharpenMid = scaled ? sharpen * kLowlightSharpenMid : kLowlightSharpenMid;
    table.sharpenHigh = scaled ? sharpen * kLowlightSharpenHigh : kLowlightSharpenHigh;
    table.sharpenQuiet = quiet;
    auto bits = [](float v) {
        uint32_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    for (int i = 0; i <= n; ++i) {
        const float step = i < n ? gain[i + 1] - gain[i] : 0.0f;
        table.gainStep[i] = bits(gain[i]) | uint64_t{bits(step)} << 32;
    }
}

void LowlightEnhanceRow_C(const uint8_t* prev, const uint8_t* cur, const uint8_t* next,
                          uint8_t* dst, int width, const LowlightGainTable& gains,
                          int32_t* greenSums) {
    lowlightRow<ScalarOps>(prev, cur, next, dst, width, gains, greenSums);
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
