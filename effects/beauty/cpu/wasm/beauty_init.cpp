#include "effects/beauty/cpu/wasm/beauty_rows_wasm.h"

namespace kelvo::video {

void beautyRowsInitArch(BeautyRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSIMD128) {
        rows = {BeautyDownsizeRow_SIMD128,        BeautyHalveRow_SIMD128,
                BeautyDoubleRow_SIMD128,          BeautyBlurRgbColumnRow_SIMD128,
                BeautySoften2Row_SIMD128,         BeautyBlurAlphaRow_SIMD128,
                BeautyBlurAlphaColumnRow_SIMD128, BeautyMixRow_SIMD128,
                BeautyGradeRow_SIMD128};
    }
}

}  // namespace kelvo::video
