// AVX2 lane operations (8 lanes) with the meaning of ScalarOps in vec.h.
// Include only from files compiled with -mavx2 (no FMA: products and sums
// stay separately rounded, as in the portable rows).
#pragma once

#include <immintrin.h>

#include "cpu/vec_sse2.h"

namespace kelvo {
namespace video {
namespace {

struct AVX2Ops {
    static constexpr int N = 8;
    using F = __m256;
    using I = __m256i;
    using M = __m256;

    static F set(float x) { return _mm256_set1_ps(x); }
    static I seti(int32_t x) { return _mm256_set1_epi32(x); }
    static F loadf(const float* p) { return _mm256_loadu_ps(p); }
    static void storef(float* p, F v) { _mm256_storeu_ps(p, v); }
    static I loadi(const void* p) { return _mm256_loadu_si256(static_cast<const I*>(p)); }
    static void storei(void* p, I v) { _mm256_storeu_si256(static_cast<I*>(p), v); }
    static F min(F a, F b) { return _mm256_min_ps(a, b); }
    static F max(F a, F b) { return _mm256_max_ps(a, b); }
    static F sqrt(F a) { return _mm256_sqrt_ps(a); }
    static M lt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static M le(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    static M gt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static M ne(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_NEQ_UQ); }
    static M gti(I a, I b) { return _mm256_castsi256_ps(_mm256_cmpgt_epi32(a, b)); }
    static F select(M m, F a, F b) { return _mm256_blendv_ps(b, a, m); }
    static I selecti(M m, I a, I b) {
        return _mm256_castps_si256(
            _mm256_blendv_ps(_mm256_castsi256_ps(b), _mm256_castsi256_ps(a), m));
    }
    static I cvtt(F a) { return _mm256_cvttps_epi32(a); }
    static F cvtf(I a) { return _mm256_cvtepi32_ps(a); }
    static I bits(F a) { return _mm256_castps_si256(a); }
    static F fromBits(I i) { return _mm256_castsi256_ps(i); }
    static I addi(I a, I b) { return _mm256_add_epi32(a, b); }
    static I subi(I a, I b) { return _mm256_sub_epi32(a, b); }
    static I andi(I a, int32_t m) { return _mm256_and_si256(a, _mm256_set1_epi32(m)); }
    static I ori(I a, int32_t m) { return _mm256_or_si256(a, _mm256_set1_epi32(m)); }
    template <int S>
    static I srai(I a) {
        return _mm256_srai_epi32(a, S);
    }
    template <int S>
    static I slli(I a) {
        return _mm256_slli_epi32(a, S);
    }
    template <int S>
    static I srli(I a) {
        return _mm256_srli_epi32(a, S);
    }
    // Table reads (here and gather64) by plain loads: AMD's gather
    // instructions are microcoded and slower than the loads they stand for
    // (the colour cube's 64-bit reads ran 11 % faster this way on Zen 4;
    // nothing read slower).
    static F gather(const float* t, I i) {
        alignas(32) int32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), i);
        const __m128 lo = _mm_setr_ps(t[at[0]], t[at[1]], t[at[2]], t[at[3]]);
        const __m128 hi = _mm_setr_ps(t[at[4]], t[at[5]], t[at[6]], t[at[7]]);
        return _mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1);
    }
    static I gatheri(const int32_t* t, I i) { return _mm256_i32gather_epi32(t, i, 4); }
    static F u16Biased(I a) {
        return _mm256_castsi256_ps(_mm256_blend_epi16(a, _mm256_set1_epi32(0x4b000000), 0xaa));
    }
    static bool anyi(I a) { return !_mm256_testz_si256(a, a); }
    static void gather64(const uint64_t* t, I i, I& lo, I& hi) {
        alignas(32) uint32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), i);
        gather64At(t, at, lo, hi);
    }
    // The indices stored once for both tables.
    static void gather64Two(const uint64_t* t, const uint64_t* u, I i, I& tlo, I& thi, I& ulo,
                            I& uhi) {
        alignas(32) uint32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), i);
        gather64At(t, at, tlo, thi);
        gather64At(u, at, ulo, uhi);
    }
    // Indices are table positions, never negative: unsigned, they address
    // without a sign extension.
    static void gather64At(const uint64_t* t, const uint32_t* at, I& lo, I& hi) {
        auto pair = [&](int k) {
            const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t + at[k]));
            return _mm_castpd_si128(
                _mm_loadh_pd(_mm_castsi128_pd(a), reinterpret_cast<const double*>(t + at[k + 1])));
        };
        // Lanes 0, 1 | 4, 5 and 2, 3 | 6, 7: the in-lane shuffles then leave
        // the halves in lane order, with no cross-lane permute.
        const __m256 g0 = _mm256_castsi256_ps(
            _mm256_inserti128_si256(_mm256_castsi128_si256(pair(0)), pair(4), 1));
        const __m256 g1 = _mm256_castsi256_ps(
            _mm256_inserti128_si256(_mm256_castsi128_si256(pair(2)), pair(6), 1));
        lo = _mm256_castps_si256(_mm256_shuffle_ps(g0, g1, _MM_SHUFFLE(2, 0, 2, 0)));
        hi = _mm256_castps_si256(_mm256_shuffle_ps(g0, g1, _MM_SHUFFLE(3, 1, 3, 1)));
    }

    static void loadRGB(const uint8_t* px, F& r, F& g, F& b) {
        __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(px));
        __m256i m = _mm256_set1_epi32(0xff);
        r = _mm256_cvtepi32_ps(_mm256_and_si256(p, m));
        g = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(p, 8), m));
        b = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(p, 16), m));
    }
    static void storeRGBA(uint8_t* px, I r, I g, I b) {
        __m256i p = _mm256_or_si256(r, _mm256_slli_epi32(g, 8));
        p = _mm256_or_si256(p, _mm256_slli_epi32(b, 16));
        p = _mm256_or_si256(p, _mm256_set1_epi32(static_cast<int32_t>(0xff000000u)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(px), p);
    }
    // Saturating packs clamp; each 128-bit half then holds bytes
    // r0-3 g0-3 b0-3 a0-3 of its four pixels, interleaved by one shuffle.
    static void storeRGBAClamped(uint8_t* px, I r, I g, I b) {
        const __m256i x = _mm256_packus_epi16(_mm256_packs_epi32(r, g),
                                              _mm256_packs_epi32(b, _mm256_set1_epi32(255)));
        const __m128i order = _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(px),
                            _mm256_shuffle_epi8(x, _mm256_setr_m128i(order, order)));
    }
};
static_assert(kIsLaneOps<AVX2Ops>, "AVX2Ops lacks an operation of cpu/lanes.h");

}  // namespace
}  // namespace video
}  // namespace kelvo
