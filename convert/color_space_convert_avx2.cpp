// AVX2 rows of the packed-RGB converters: the SSE2 scheme on two 128-bit
// lanes, with one permute per store to undo the lane interleave.
#include "convert/color_space_rows.h"

#if KELVO_CPU_X86

#ifndef __AVX2__
#error "this file needs -mavx2"
#endif

#include <immintrin.h>

namespace kelvo {
namespace video {

namespace {

constexpr int kChromaBias = 32896;

inline __m256i pixelWeights(const int16_t* w) {
    return _mm256_setr_epi16(w[0], w[1], w[2], w[3], w[0], w[1], w[2], w[3], w[0], w[1], w[2], w[3],
                             w[0], w[1], w[2], w[3]);
}

// Packs leave 32-bit groups lane-interleaved: 0 2 4 6 | 1 3 5 7.
inline __m256i deinterleaveGroups(__m256i v) {
    return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

inline __m256i pairSums(__m256i first, __m256i second) {
    const __m256 a = _mm256_castsi256_ps(first);
    const __m256 b = _mm256_castsi256_ps(second);
    return _mm256_add_epi32(_mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))),
                            _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
}

// Luma of eight pixels: pixels 0-3 in the low lane, 4-7 in the high lane.
inline __m256i luma8(const uint8_t* src, __m256i weights, __m256i bias) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    const __m256i sums = pairSums(_mm256_madd_epi16(_mm256_unpacklo_epi8(v, zero), weights),
                                  _mm256_madd_epi16(_mm256_unpackhi_epi8(v, zero), weights));
    return _mm256_srli_epi32(_mm256_add_epi32(sums, bias), 8);
}

// Channel averages of four 2x2 blocks from eight pixels of two rows: blocks
// 0-1 in the low lane, 2-3 in the high lane.
inline __m256i blockAverages4(const uint8_t* s0, const uint8_t* s1) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s0));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s1));
    const __m256i lo =
        _mm256_add_epi16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero));
    const __m256i hi =
        _mm256_add_epi16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero));
    return _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_unpacklo_epi64(lo, hi), _mm256_unpackhi_epi64(lo, hi)), 2);
}

inline __m256i chroma8(__m256i first, __m256i second, __m256i weights, __m256i bias) {
    const __m256i sums =
        pairSums(_mm256_madd_epi16(first, weights), _mm256_madd_epi16(second, weights));
    return _mm256_srai_epi32(_mm256_add_epi32(sums, bias), 8);
}

// Sixteen chroma bytes, in order, from the two chroma8 results.
inline __m128i packChroma16(__m256i first, __m256i second) {
    const __m256i words = deinterleaveGroups(_mm256_packs_epi32(first, second));
    return _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
}

}  // namespace

static int prefixToY(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c) {
    const __m256i weights = pixelWeights(c.y);
    const __m256i bias = _mm256_set1_epi32(c.yBias);
    int x = 0;
    for (; x + 32 <= width; x += 32, src += 128) {
        const __m256i lo =
            _mm256_packs_epi32(luma8(src, weights, bias), luma8(src + 32, weights, bias));
        const __m256i hi =
            _mm256_packs_epi32(luma8(src + 64, weights, bias), luma8(src + 96, weights, bias));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dstY + x),
                            deinterleaveGroups(_mm256_packus_epi16(lo, hi)));
    }
    return x;
}

static int prefixToUV(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                      int width, const PackedRowCoeffs& c) {
    const __m256i uWeights = pixelWeights(c.u);
    const __m256i vWeights = pixelWeights(c.v);
    const __m256i bias = _mm256_set1_epi32(kChromaBias);
    int x = 0;
    for (; x + 32 <= width; x += 32, src0 += 128, src1 += 128) {
        const __m256i b0 = blockAverages4(src0, src1);
        const __m256i b1 = blockAverages4(src0 + 32, src1 + 32);
        const __m256i b2 = blockAverages4(src0 + 64, src1 + 64);
        const __m256i b3 = blockAverages4(src0 + 96, src1 + 96);
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(dstU + x / 2),
            packChroma16(chroma8(b0, b1, uWeights, bias), chroma8(b2, b3, uWeights, bias)));
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(dstV + x / 2),
            packChroma16(chroma8(b0, b1, vWeights, bias), chroma8(b2, b3, vWeights, bias)));
    }
    return x;
}

// The vector-filling prefix here, the rest (odd last column included) by
// the portable row.
void PackedRowToY_AVX2(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c) {
    const int done = prefixToY(src, dstY, width, c);
    PackedRowToY_C(src + 4 * done, dstY + done, width - done, c);
}

void PackedRowPairToUV_AVX2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                            int width, const PackedRowCoeffs& c) {
    const int done = prefixToUV(src0, src1, dstU, dstV, width, c);
    PackedRowPairToUV_C(src0 + 4 * done, src1 + 4 * done, dstU + done / 2, dstV + done / 2,
                        width - done, c);
}

}  // namespace video
}  // namespace kelvo

#endif  // KELVO_CPU_X86
