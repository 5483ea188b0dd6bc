// AVX2 16-bit lane operations (16 lanes) with the meaning of ScalarOps16 in
// vec16.h. Include only from files compiled with -mavx2. The unpacks and
// packs work within 128-bit halves; paired as below they keep pixel order.
#pragma once

#include <immintrin.h>

#include "cpu/vec16.h"

namespace kelvo {
namespace video {
namespace {

// One channel of the pixels in the 32-bit lanes of the (128 x, x) pairs of
// y, u and v: a multiply-add of each pair with its split weight.
KELVO_CPU_INLINE __m256i fixedChannel256(const __m256i* pairs, const int16_t (*k)[2]) {
    __m256i s = _mm256_set1_epi32(1 << (kFixedShift - 1));
    for (int j = 0; j < 3; ++j) {
        const __m256i w = _mm256_set1_epi32(pairedWeight(k[j]));
        s = _mm256_add_epi32(s, _mm256_madd_epi16(pairs[j], w));
    }
    return _mm256_srai_epi32(s, kFixedShift);
}

struct AVX2Ops16 {
    static constexpr int N = 16;
    using V = __m256i;

    static V set(int16_t x) { return _mm256_set1_epi16(x); }
    static V load8(const uint8_t* p) {
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static V add(V a, V b) { return _mm256_add_epi16(a, b); }
    static V sub(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V mullo(V a, V b) { return _mm256_mullo_epi16(a, b); }
    static V max(V a, V b) { return _mm256_max_epi16(a, b); }
    static V min(V a, V b) { return _mm256_min_epi16(a, b); }
    template <int S>
    static V srli(V a) {
        return _mm256_srli_epi16(a, S);
    }
    template <int S>
    static V slli(V a) {
        return _mm256_slli_epi16(a, S);
    }
    static void storeInterleaved8(uint8_t* p, V e, V o) {
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(p),
            _mm256_packus_epi16(_mm256_unpacklo_epi16(e, o), _mm256_unpackhi_epi16(e, o)));
    }
    static void rgbaFromYUV(uint8_t* px, V y, V u, V v, const FixedMatrix& k) {
        const __m256i x[3] = {y, u, v};
        __m256i pairsLo[3], pairsHi[3];
        for (int j = 0; j < 3; ++j) {
            const __m256i x128 = _mm256_slli_epi16(x[j], 7);
            pairsLo[j] = _mm256_unpacklo_epi16(x128, x[j]);
            pairsHi[j] = _mm256_unpackhi_epi16(x128, x[j]);
        }
        __m256i c[3];
        for (int i = 0; i < 3; ++i) {
            c[i] =
                _mm256_packs_epi32(fixedChannel256(pairsLo, k[i]), fixedChannel256(pairsHi, k[i]));
        }
        const __m256i rg = _mm256_packus_epi16(c[0], c[1]);
        const __m256i ba = _mm256_packus_epi16(c[2], _mm256_set1_epi16(255));
        const __m256i rgLo = _mm256_unpacklo_epi8(rg, _mm256_srli_si256(rg, 8));
        const __m256i baLo = _mm256_unpacklo_epi8(ba, _mm256_srli_si256(ba, 8));
        const __m256i lo = _mm256_unpacklo_epi16(rgLo, baLo);  // pixels 0..3, 8..11
        const __m256i hi = _mm256_unpackhi_epi16(rgLo, baLo);  // pixels 4..7, 12..15
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(px),
                            _mm256_permute2x128_si256(lo, hi, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(px + 32),
                            _mm256_permute2x128_si256(lo, hi, 0x31));
    }
};
static_assert(kIsLaneOps16<AVX2Ops16>, "AVX2Ops16 lacks an operation of cpu/lanes.h");

}  // namespace
}  // namespace video
}  // namespace kelvo
