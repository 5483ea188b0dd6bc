// SSE2 16-bit lane operations (8 lanes) with the meaning of ScalarOps16 in
// vec16.h. Include only from files compiled with -msse2.
#pragma once

#include <emmintrin.h>

#include "cpu/vec16.h"

namespace kelvo {
namespace video {
namespace {

// One channel of the pixels in the 32-bit lanes of the (128 x, x) pairs of
// y, u and v: a multiply-add of each pair with its split weight.
KELVO_CPU_INLINE __m128i fixedChannel(const __m128i* pairs, const int16_t (*k)[2]) {
    __m128i s = _mm_set1_epi32(1 << (kFixedShift - 1));
    for (int j = 0; j < 3; ++j) {
        const __m128i w = _mm_set1_epi32(pairedWeight(k[j]));
        s = _mm_add_epi32(s, _mm_madd_epi16(pairs[j], w));
    }
    return _mm_srai_epi32(s, kFixedShift);
}

struct SSE2Ops16 {
    static constexpr int N = 8;
    using V = __m128i;

    static V set(int16_t x) { return _mm_set1_epi16(x); }
    static V load8(const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                 _mm_setzero_si128());
    }
    static V add(V a, V b) { return _mm_add_epi16(a, b); }
    static V sub(V a, V b) { return _mm_sub_epi16(a, b); }
    static V mullo(V a, V b) { return _mm_mullo_epi16(a, b); }
    static V max(V a, V b) { return _mm_max_epi16(a, b); }
    static V min(V a, V b) { return _mm_min_epi16(a, b); }
    template <int S>
    static V srli(V a) {
        return _mm_srli_epi16(a, S);
    }
    template <int S>
    static V slli(V a) {
        return _mm_slli_epi16(a, S);
    }
    static void storeInterleaved8(uint8_t* p, V e, V o) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                         _mm_packus_epi16(_mm_unpacklo_epi16(e, o), _mm_unpackhi_epi16(e, o)));
    }
    // Channels of pixels 0..3 from the low halves, 4..7 from the high ones.
    static void rgbaFromYUV(uint8_t* px, V y, V u, V v, const FixedMatrix& k) {
        const __m128i x[3] = {y, u, v};
        __m128i pairsLo[3], pairsHi[3];
        for (int j = 0; j < 3; ++j) {
            const __m128i x128 = _mm_slli_epi16(x[j], 7);
            pairsLo[j] = _mm_unpacklo_epi16(x128, x[j]);
            pairsHi[j] = _mm_unpackhi_epi16(x128, x[j]);
        }
        __m128i c[3];
        for (int i = 0; i < 3; ++i) {
            c[i] = _mm_packs_epi32(fixedChannel(pairsLo, k[i]), fixedChannel(pairsHi, k[i]));
        }
        // Bytes r, g and b, 255 per pixel, saturated to 0..255.
        const __m128i rg = _mm_packus_epi16(c[0], c[1]);
        const __m128i ba = _mm_packus_epi16(c[2], _mm_set1_epi16(255));
        const __m128i rgLo = _mm_unpacklo_epi8(rg, _mm_srli_si128(rg, 8));
        const __m128i baLo = _mm_unpacklo_epi8(ba, _mm_srli_si128(ba, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(px), _mm_unpacklo_epi16(rgLo, baLo));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(px + 16), _mm_unpackhi_epi16(rgLo, baLo));
    }
};
static_assert(kIsLaneOps16<SSE2Ops16>, "SSE2Ops16 lacks an operation of cpu/lanes.h");

}  // namespace
}  // namespace video
}  // namespace kelvo
