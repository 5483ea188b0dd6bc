// SSE2 lane operations (4 lanes) with the meaning of ScalarOps in vec.h.
// Include only from files compiled with -msse2.
#pragma once

#include <emmintrin.h>

#include "cpu/vec.h"

namespace kelvo {
namespace video {
namespace {

struct SSE2Ops {
    static constexpr int N = 4;
    using F = __m128;
    using I = __m128i;
    using M = __m128;

    static F set(float x) { return _mm_set1_ps(x); }
    static I seti(int32_t x) { return _mm_set1_epi32(x); }
    static F loadf(const float* p) { return _mm_loadu_ps(p); }
    static void storef(float* p, F v) { _mm_storeu_ps(p, v); }
    static I loadi(const void* p) { return _mm_loadu_si128(static_cast<const I*>(p)); }
    static void storei(void* p, I v) { _mm_storeu_si128(static_cast<I*>(p), v); }
    static F min(F a, F b) { return _mm_min_ps(a, b); }
    static F max(F a, F b) { return _mm_max_ps(a, b); }
    static F sqrt(F a) { return _mm_sqrt_ps(a); }
    static M lt(F a, F b) { return _mm_cmplt_ps(a, b); }
    static M le(F a, F b) { return _mm_cmple_ps(a, b); }
    static M gt(F a, F b) { return _mm_cmpgt_ps(a, b); }
    static M ne(F a, F b) { return _mm_cmpneq_ps(a, b); }
    static M gti(I a, I b) { return _mm_castsi128_ps(_mm_cmpgt_epi32(a, b)); }
    static F select(M m, F a, F b) { return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b)); }
    static I selecti(M m, I a, I b) {
        I mi = _mm_castps_si128(m);
        return _mm_or_si128(_mm_and_si128(mi, a), _mm_andnot_si128(mi, b));
    }
    static I cvtt(F a) { return _mm_cvttps_epi32(a); }
    static F cvtf(I a) { return _mm_cvtepi32_ps(a); }
    static I bits(F a) { return _mm_castps_si128(a); }
    static F fromBits(I i) { return _mm_castsi128_ps(i); }
    static I addi(I a, I b) { return _mm_add_epi32(a, b); }
    static I subi(I a, I b) { return _mm_sub_epi32(a, b); }
    static I andi(I a, int32_t m) { return _mm_and_si128(a, _mm_set1_epi32(m)); }
    static I ori(I a, int32_t m) { return _mm_or_si128(a, _mm_set1_epi32(m)); }
    template <int S>
    static I srai(I a) {
        return _mm_srai_epi32(a, S);
    }
    template <int S>
    static I slli(I a) {
        return _mm_slli_epi32(a, S);
    }
    template <int S>
    static I srli(I a) {
        return _mm_srli_epi32(a, S);
    }
    static F gather(const float* t, I i) {
        alignas(16) int32_t idx[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(idx), i);
        return _mm_setr_ps(t[idx[0]], t[idx[1]], t[idx[2]], t[idx[3]]);
    }
    static I gatheri(const int32_t* t, I i) {
        alignas(16) int32_t idx[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(idx), i);
        return _mm_setr_epi32(t[idx[0]], t[idx[1]], t[idx[2]], t[idx[3]]);
    }
    static F u16Biased(I a) {
        return _mm_castsi128_ps(
            _mm_or_si128(_mm_and_si128(a, _mm_set1_epi32(0xffff)), _mm_set1_epi32(0x4b000000)));
    }
    static bool anyi(I a) {
        return _mm_movemask_epi8(_mm_cmpeq_epi32(a, _mm_setzero_si128())) != 0xffff;
    }
    static void gather64(const uint64_t* t, I i, I& lo, I& hi) {
        alignas(16) uint32_t idx[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(idx), i);
        gather64At(t, idx, lo, hi);
    }
    static void gather64Two(const uint64_t* t, const uint64_t* u, I i, I& tlo, I& thi, I& ulo,
                            I& uhi) {
        alignas(16) uint32_t idx[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(idx), i);
        gather64At(t, idx, tlo, thi);
        gather64At(u, idx, ulo, uhi);
    }
    static void gather64At(const uint64_t* t, const uint32_t* idx, I& lo, I& hi) {
        const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t + idx[0]));
        const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t + idx[1]));
        const __m128i c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t + idx[2]));
        const __m128i d = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t + idx[3]));
        const __m128i ab = _mm_unpacklo_epi32(a, b);  // a.lo b.lo a.hi b.hi
        const __m128i cd = _mm_unpacklo_epi32(c, d);
        lo = _mm_unpacklo_epi64(ab, cd);
        hi = _mm_unpackhi_epi64(ab, cd);
    }

    static void loadRGB(const uint8_t* px, F& r, F& g, F& b) {
        __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px));
        __m128i m = _mm_set1_epi32(0xff);
        r = _mm_cvtepi32_ps(_mm_and_si128(p, m));
        g = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, 8), m));
        b = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, 16), m));
    }
    static void storeRGBA(uint8_t* px, I r, I g, I b) {
        __m128i p = _mm_or_si128(r, _mm_slli_epi32(g, 8));
        p = _mm_or_si128(p, _mm_slli_epi32(b, 16));
        p = _mm_or_si128(p, _mm_set1_epi32(static_cast<int32_t>(0xff000000u)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(px), p);
    }
    // Saturating packs clamp; bytes r0-3 b0-3 g0-3 a0-3 then interleave.
    static void storeRGBAClamped(uint8_t* px, I r, I g, I b) {
        const __m128i x =
            _mm_packus_epi16(_mm_packs_epi32(r, b), _mm_packs_epi32(g, _mm_set1_epi32(255)));
        const __m128i t = _mm_unpacklo_epi8(x, _mm_srli_si128(x, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(px),
                         _mm_unpacklo_epi16(t, _mm_srli_si128(t, 8)));
    }
};
static_assert(kIsLaneOps<SSE2Ops>, "SSE2Ops lacks an operation of cpu/lanes.h");

}  // namespace
}  // namespace video
}  // namespace kelvo
