#include <cmath>
#include <cstring>

#include "effects/lowlight/cpu/lowlight_enhance_kernel.h"
#include "effects/lowlight/lowlight_model.h"
#include "system/portable_math.h"

namespace kelvo {
namespace video {

void fillLowlightGainTable(float logMean, LowlightGainTable& table) {
    // yNew = knee ln(1 + y / k) / ln(1 + knee / k), k = logMean / scale: the
    // curve meets the identity at the knee, above which luma is left alone.
    const double k = static_cast<double>(logMean) / kLowlightLogMeanScale;
    const double scale = kLowlightKnee / portable_math::log1p(kLowlightKnee / k);
    constexpr int n = LowlightGainTable::kSteps;
    float gain[n + 1];
    gain[0] = static_cast<float>(scale / k);  // the limit at black
    for (int i = 1; i <= n; ++i) {
        const double y = static_cast<double>(i) / n;
        gain[i] = static_cast<float>(scale * portable_math::log1p(y / k) / y);
    }
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
