#include "effects/beauty/cpu/arm/beauty_rows_arm.h"

namespace kelvo::video {

// Row by row, so that a row added to the table keeps its portable form here
// until it has a NEON one.
void beautyRowsInitArch(BeautyRows& rows, CpuFlags flags) {
    if (!(flags & kCpuFlagNEON)) return;
    rows.downsize = BeautyDownsizeRow_NEON;
    rows.halve = BeautyHalveRow_NEON;
    rows.doubled = BeautyDoubleRow_NEON;
    rows.blurRgbColumn = BeautyBlurRgbColumnRow_NEON;
    rows.soften2 = BeautySoften2Row_NEON;
    rows.blurAlpha = BeautyBlurAlphaRow_NEON;
    rows.blurAlphaColumn = BeautyBlurAlphaColumnRow_NEON;
    rows.mix = BeautyMixRow_NEON;
    rows.grade = BeautyGradeRow_NEON;
}

}  // namespace kelvo::video
