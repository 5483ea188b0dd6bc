// AVX2 denoiser kernels: two block rows per register (one per 128-bit lane),
// each lane computing what DenoiserFilterC computes for its sample.
#include "denoise/denoiser_model.h"
#include "denoise/denoiser_rows.h"

#if KELVO_CPU_X86

#ifndef __AVX2__
#error "this file needs -mavx2"
#endif

#include <immintrin.h>

namespace kelvo {
namespace video {

namespace {

inline __m256i loadRows(const uint8_t* row0, const uint8_t* row1) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row0))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1)), 1);
}

inline __m256i select256(__m256i mask, __m256i a, __m256i b) {
    return _mm256_blendv_epi8(b, a, mask);
}

inline int horizontalSum32(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(v);
}

inline __m128i addLanes16(__m256i v) {
    return _mm_add_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

}  // namespace

void CopyBlock16x16_AVX2(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) {
    for (int y = 0; y < 16; ++y) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
        src += srcStride;
        dst += dstStride;
    }
}

uint32_t Variance16x8_AVX2(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                           uint32_t* sse) {
    // 16-bit lanes hold at most 8 differences of +-255: no overflow.
    __m256i sum = _mm256_setzero_si256();
    __m256i squares = _mm256_setzero_si256();
    for (int y = 0; y < 8; ++y) {
        const __m256i d = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b))));
        sum = _mm256_add_epi16(sum, d);
        squares = _mm256_add_epi32(squares, _mm256_madd_epi16(d, d));
        a += 2 * aStride;
        b += 2 * bStride;
    }
    const __m256i sum32 = _mm256_madd_epi16(sum, _mm256_set1_epi16(1));
    const int total = horizontalSum32(
        _mm_add_epi32(_mm256_castsi256_si128(sum32), _mm256_extracti128_si256(sum32, 1)));
    const uint32_t sq = static_cast<uint32_t>(horizontalSum32(
        _mm_add_epi32(_mm256_castsi256_si128(squares), _mm256_extracti128_si256(squares, 1))));
    if (sse) *sse = sq;
    const int64_t sum2 = static_cast<int64_t>(total) * total;
    return sq - static_cast<uint32_t>(sum2 >> 7);
}

BlockDecision DenoiseBlock_AVX2(const uint8_t* reference, int referenceStride, uint8_t* out,
                                int outStride, const uint8_t* source, int sourceStride, int motion,
                                int strong, int* sumDiff) {
    (void)motion;
    const int s = strong ? 1 : 0;
    const __m256i zero = _mm256_setzero_si256();
    const int step = s * kDenoiserStrongStep;
    const __m256i smallLimit = _mm256_set1_epi8(static_cast<char>(kDenoiserStillLimit + step));
    const __m256i seven = _mm256_set1_epi8(kDenoiserBandLimits[0]);
    const __m256i fifteen = _mm256_set1_epi8(kDenoiserBandLimits[1]);
    const __m256i largest = _mm256_set1_epi8(static_cast<char>(kDenoiserAdjustments[2] + step));
    // The steps down from the largest adjustment to the band's.
    const __m256i one = _mm256_set1_epi8(kDenoiserAdjustments[1] - kDenoiserAdjustments[0]);
    const __m256i two = _mm256_set1_epi8(kDenoiserAdjustments[2] - kDenoiserAdjustments[1]);

    // Per lane: column sums of the even (low lane) or odd (high lane) rows.
    __m256i sumLo = zero;
    __m256i sumHi = zero;
    for (int y = 0; y < 16; y += 2) {
        const __m256i r = loadRows(reference, reference + referenceStride);
        const __m256i x = loadRows(source, source + sourceStride);
        const __m256i down = _mm256_subs_epu8(x, r);
        const __m256i ad = _mm256_or_si256(_mm256_subs_epu8(r, x), down);
        const __m256i small = _mm256_cmpeq_epi8(_mm256_subs_epu8(ad, smallLimit), zero);
        const __m256i le7 = _mm256_cmpeq_epi8(_mm256_subs_epu8(ad, seven), zero);
        const __m256i le15 = _mm256_cmpeq_epi8(_mm256_subs_epu8(ad, fifteen), zero);
        const __m256i adjust = _mm256_sub_epi8(
            _mm256_sub_epi8(largest, _mm256_and_si256(le15, two)), _mm256_and_si256(le7, one));
        // Outside the small band d != 0, so "not below" means the reference is brighter.
        const __m256i brighter = _mm256_cmpeq_epi8(down, zero);
        const __m256i moved =
            select256(brighter, _mm256_adds_epu8(x, adjust), _mm256_subs_epu8(x, adjust));
        const __m256i o = select256(small, r, moved);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(o));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + outStride),
                         _mm256_extracti128_si256(o, 1));
        const __m256i contribution =
            select256(small, _mm256_sub_epi8(r, x),
                      select256(brighter, adjust, _mm256_sub_epi8(zero, adjust)));
        sumLo = _mm256_add_epi16(
            sumLo, _mm256_srai_epi16(_mm256_unpacklo_epi8(contribution, contribution), 8));
        sumHi = _mm256_add_epi16(
            sumHi, _mm256_srai_epi16(_mm256_unpackhi_epi8(contribution, contribution), 8));
        reference += 2 * referenceStride;
        source += 2 * sourceStride;
        out += 2 * outStride;
    }
    // Whole column sums first, then the cap, as the portable code does.
    const __m128i cap = _mm_set1_epi16(kDenoiserColumnSumCap);
    const __m128i capped =
        _mm_add_epi16(_mm_min_epi16(addLanes16(sumLo), cap), _mm_min_epi16(addLanes16(sumHi), cap));
    const int blockSum = horizontalSum32(_mm_madd_epi16(capped, _mm_set1_epi16(1)));
    const int diff = blockSum < 0 ? -blockSum : blockSum;
    if (sumDiff) *sumDiff = diff;
    return diff > denoiserCopyLimit(s) ? kCopyBlock : kFilterBlock;
}

}  // namespace video
}  // namespace kelvo

#endif  // KELVO_CPU_X86
