#include "cpu/beauty_rows.h"

namespace kelvo::video {

void BeautyDownsizeRow_SSE2(const uint8_t* src, const int32_t* x0, const int32_t* x1, const uint32_t* w, uint8_t* dst, int width) { BeautyDownsizeRow_C(src, x0, x1, w, dst, width); }
void BeautyBlurRgbColumnRow_SSE2(const BeautyColumnTaps& taps, uint8_t* dst, int width) { BeautyBlurRgbColumnRow_C(taps, dst, width); }
void BeautySoften2Row_SSE2(const uint8_t* blur, const uint8_t* in0, const uint8_t* in1,
                          uint32_t inWeight, uint8_t* dst, int width) { BeautySoften2Row_C(blur, in0, in1, inWeight, dst, width); }
void BeautyBlurAlphaRow_SSE2(const uint8_t* src, uint8_t* dst, int width) { BeautyBlurAlphaRow_C(src, dst, width); }
void BeautyBlurAlphaColumnRow_SSE2(const uint8_t* const* rows, uint8_t* dst, int width) { BeautyBlurAlphaColumnRow_C(rows, dst, width); }
void BeautyMixRow_SSE2(const BeautyMixUniforms& u, const uint8_t* above, const uint8_t* row,
                      const uint8_t* below, const BeautyMixRead& blur, uint8_t* dst, int width) { BeautyMixRow_C(u, above, row, below, blur, dst, width); }

}  // namespace kelvo::video
