// SSE2 denoiser kernels: one 16-sample row per register. Every lane computes
// exactly what DenoiserFilterC computes for its sample, so results match.
#include "denoise/denoiser_model.h"
#include "denoise/denoiser_rows.h"

#if KELVO_CPU_X86

#include <emmintrin.h>

namespace kelvo {
namespace video {

namespace {

inline __m128i select128(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

inline int horizontalSum32(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(v);
}

}  // namespace

void CopyBlock16x16_SSE2(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) {
    for (int y = 0; y < 16; ++y) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
        src += srcStride;
        dst += dstStride;
    }
}

uint32_t Variance16x8_SSE2(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                           uint32_t* sse) {
    const __m128i zero = _mm_setzero_si128();
    // 16-bit lanes hold at most 16 differences of +-255: no overflow.
    __m128i sum = zero;
    __m128i squares = zero;
    for (int y = 0; y < 8; ++y) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
        const __m128i dlo = _mm_sub_epi16(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero));
        const __m128i dhi = _mm_sub_epi16(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero));
        sum = _mm_add_epi16(sum, _mm_add_epi16(dlo, dhi));
        squares = _mm_add_epi32(squares,
                                _mm_add_epi32(_mm_madd_epi16(dlo, dlo), _mm_madd_epi16(dhi, dhi)));
        a += 2 * aStride;
        b += 2 * bStride;
    }
    const int total = horizontalSum32(_mm_madd_epi16(sum, _mm_set1_epi16(1)));
    const uint32_t sq = static_cast<uint32_t>(horizontalSum32(squares));
    if (sse) *sse = sq;
    const int64_t sum2 = static_cast<int64_t>(total) * total;
    return sq - static_cast<uint32_t>(sum2 >> 7);
}

BlockDecision DenoiseBlock_SSE2(const uint8_t* reference, int referenceStride, uint8_t* out,
                                int outStride, const uint8_t* source, int sourceStride, int motion,
                                int strong, int* sumDiff) {
    (void)motion;
    const int s = strong ? 1 : 0;
    const __m128i zero = _mm_setzero_si128();
    const int step = s * kDenoiserStrongStep;
    const __m128i smallLimit = _mm_set1_epi8(static_cast<char>(kDenoiserStillLimit + step));
    const __m128i seven = _mm_set1_epi8(kDenoiserBandLimits[0]);
    const __m128i fifteen = _mm_set1_epi8(kDenoiserBandLimits[1]);
    const __m128i largest = _mm_set1_epi8(static_cast<char>(kDenoiserAdjustments[2] + step));
    // The steps down from the largest adjustment to the band's.
    const __m128i one = _mm_set1_epi8(kDenoiserAdjustments[1] - kDenoiserAdjustments[0]);
    const __m128i two = _mm_set1_epi8(kDenoiserAdjustments[2] - kDenoiserAdjustments[1]);

    __m128i sumLo = zero;  // column sums 0..7, 16-bit
    __m128i sumHi = zero;  // column sums 8..15
    for (int y = 0; y < 16; ++y) {
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(reference));
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        const __m128i up = _mm_subs_epu8(r, x);
        const __m128i down = _mm_subs_epu8(x, r);
        const __m128i ad = _mm_or_si128(up, down);
        const __m128i small = _mm_cmpeq_epi8(_mm_subs_epu8(ad, smallLimit), zero);
        const __m128i le7 = _mm_cmpeq_epi8(_mm_subs_epu8(ad, seven), zero);
        const __m128i le15 = _mm_cmpeq_epi8(_mm_subs_epu8(ad, fifteen), zero);
        // 7+s, then 5+s up to 15, then 4+s up to 7.
        const __m128i adjust =
            _mm_sub_epi8(_mm_sub_epi8(largest, _mm_and_si128(le15, two)), _mm_and_si128(le7, one));
        // Outside the small band d != 0, so "not below" means the reference is brighter.
        const __m128i brighter = _mm_cmpeq_epi8(down, zero);
        // Saturation gives the clamps to 255 and 0.
        const __m128i moved =
            select128(brighter, _mm_adds_epu8(x, adjust), _mm_subs_epu8(x, adjust));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), select128(small, r, moved));
        // Contributions lie in -8..8, so 8-bit lanes hold them exactly.
        const __m128i contribution = select128(
            small, _mm_sub_epi8(r, x), select128(brighter, adjust, _mm_sub_epi8(zero, adjust)));
        sumLo =
            _mm_add_epi16(sumLo, _mm_srai_epi16(_mm_unpacklo_epi8(contribution, contribution), 8));
        sumHi =
            _mm_add_epi16(sumHi, _mm_srai_epi16(_mm_unpackhi_epi8(contribution, contribution), 8));
        reference += referenceStride;
        source += sourceStride;
        out += outStride;
    }
    const __m128i cap = _mm_set1_epi16(kDenoiserColumnSumCap);
    const __m128i capped = _mm_add_epi16(_mm_min_epi16(sumLo, cap), _mm_min_epi16(sumHi, cap));
    const int blockSum = horizontalSum32(_mm_madd_epi16(capped, _mm_set1_epi16(1)));
    const int diff = blockSum < 0 ? -blockSum : blockSum;
    if (sumDiff) *sumDiff = diff;
    return diff > denoiserCopyLimit(s) ? kCopyBlock : kFilterBlock;
}

}  // namespace video
}  // namespace kelvo

#endif  // KELVO_CPU_X86
