// SSE2 forms of the two block blends, equal to the portable ones for every
// pair of 8-bit samples (the tests check all 65536 pairs).
#include "denoise/denoiser_blend.h"
#include "denoise/denoiser_model.h"

#if KELVO_CPU_X86

#include <emmintrin.h>

namespace kelvo {
namespace video {

void blendMovingBlock16x16SSE2(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride) {
    // truncate(0.1 r + 0.9 s) in double equals (r + 9 s) / 10 for all 8-bit
    // pairs, and (v * 6554) >> 16 is v / 10 for v up to 2550.
    static_assert(kDenoiserMovingReferenceWeight == 0.1 && kDenoiserMovingSourceWeight == 0.9,
                  "the integer form below is that of these weights");
    const __m128i zero = _mm_setzero_si128();
    const __m128i tenth = _mm_set1_epi16(6554);
    for (int y = 0; y < 16; ++y) {
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(reference));
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        const __m128i slo = _mm_unpacklo_epi8(s, zero);
        const __m128i shi = _mm_unpackhi_epi8(s, zero);
        const __m128i lo =
            _mm_add_epi16(_mm_unpacklo_epi8(r, zero), _mm_add_epi16(_mm_slli_epi16(slo, 3), slo));
        const __m128i hi =
            _mm_add_epi16(_mm_unpackhi_epi8(r, zero), _mm_add_epi16(_mm_slli_epi16(shi, 3), shi));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_packus_epi16(_mm_mulhi_epu16(lo, tenth), _mm_mulhi_epu16(hi, tenth)));
        reference += referenceStride;
        source += sourceStride;
        out += outStride;
    }
}

namespace {

// Four samples of the static blend with the portable code's operations:
// float product r * w widened to double, s * (1 - w) in double, truncation.
inline __m128i staticBlend4(__m128i r32, __m128i s32, __m128 weight, __m128d sourceWeight) {
    const __m128 weighted = _mm_mul_ps(_mm_cvtepi32_ps(r32), weight);
    const __m128d lo =
        _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(s32), sourceWeight), _mm_cvtps_pd(weighted));
    const __m128d hi = _mm_add_pd(
        _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(s32, _MM_SHUFFLE(1, 0, 3, 2))), sourceWeight),
        _mm_cvtps_pd(_mm_movehl_ps(weighted, weighted)));
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
}

}  // namespace

void blendStaticBlock16x16SSE2(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride, float staticWeight) {
    if (!(staticWeight >= 0.0f && staticWeight <= 1.0f)) {
        // Results outside 0..255 wrap in the portable cast; leave those to it.
        blendStaticBlock16x16(reference, referenceStride, source, sourceStride, out, outStride,
                              staticWeight);
        return;
    }
    const __m128i zero = _mm_setzero_si128();
    if (staticWeight == 0.5f) {
        // Both products are exact halves and so is their sum: (r + s) >> 1.
        const __m128i one = _mm_set1_epi8(1);
        for (int y = 0; y < 16; ++y) {
            const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(reference));
            const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
            // avg rounds up; take the odd sums' half back.
            const __m128i floorAvg =
                _mm_sub_epi8(_mm_avg_epu8(r, s), _mm_and_si128(_mm_xor_si128(r, s), one));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), floorAvg);
            reference += referenceStride;
            source += sourceStride;
            out += outStride;
        }
        return;
    }
    const __m128 weight = _mm_set1_ps(staticWeight);
    const __m128d sourceWeight = _mm_set1_pd(1.0 - static_cast<double>(staticWeight));
    for (int y = 0; y < 16; ++y) {
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(reference));
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        const __m128i r16[2] = {_mm_unpacklo_epi8(r, zero), _mm_unpackhi_epi8(r, zero)};
        const __m128i s16[2] = {_mm_unpacklo_epi8(s, zero), _mm_unpackhi_epi8(s, zero)};
        __m128i words[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i a = staticBlend4(_mm_unpacklo_epi16(r16[h], zero),
                                           _mm_unpacklo_epi16(s16[h], zero), weight, sourceWeight);
            const __m128i b = staticBlend4(_mm_unpackhi_epi16(r16[h], zero),
                                           _mm_unpackhi_epi16(s16[h], zero), weight, sourceWeight);
            words[h] = _mm_packs_epi32(a, b);
        }
        // Weights in 0..1 keep every result in 0..255, where the packs change nothing.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words[0], words[1]));
        reference += referenceStride;
        source += sourceStride;
        out += outStride;
    }
}

}  // namespace video
}  // namespace kelvo

#endif  // KELVO_CPU_X86
