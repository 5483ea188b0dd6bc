#include "effects/beauty/cpu/x86/beauty_rows_x86.h"

namespace kelvo::video {

void beautyRowsInitArch(BeautyRows& rows, CpuFlags flags) {
    if (flags & kCpuFlagSSE2) {
        rows = {BeautyDownsizeRow_SSE2,        BeautyHalveRow_SSE2,   BeautyDoubleRow_SSE2,
                BeautyBlurRgbColumnRow_SSE2,   BeautySoften2Row_SSE2, BeautyBlurAlphaRow_SSE2,
                BeautyBlurAlphaColumnRow_SSE2, BeautyMixRow_SSE2,     BeautyGradeRow_SSE2};
    }
    if (flags & kCpuFlagAVX2) {
        rows = {BeautyDownsizeRow_AVX2,        BeautyHalveRow_AVX2,   BeautyDoubleRow_AVX2,
                BeautyBlurRgbColumnRow_AVX2,   BeautySoften2Row_AVX2, BeautyBlurAlphaRow_AVX2,
                BeautyBlurAlphaColumnRow_AVX2, BeautyMixRow_AVX2,     BeautyGradeRow_AVX2};
    }
}

}  // namespace kelvo::video
