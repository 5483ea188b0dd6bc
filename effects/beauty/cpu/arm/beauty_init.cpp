#include "effects/beauty/cpu/arm/beauty_rows_arm.h"

namespace kelvo::video {

void beautyRowsInitArch(BeautyRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagNEON) {
        rows = {BeautyDownsizeRow_NEON,        BeautyHalveRow_NEON,   BeautyDoubleRow_NEON,
                BeautyBlurRgbColumnRow_NEON,   BeautySoften2Row_NEON, BeautyBlurAlphaRow_NEON,
                BeautyBlurAlphaColumnRow_NEON, BeautyMixRow_NEON,     BeautyGradeRow_NEON};
    }
}

}  // namespace kelvo::video
