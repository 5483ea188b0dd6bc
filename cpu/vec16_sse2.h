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
    using B = __m128i;

    static V set(int16_t x) { return _mm_set1_epi16(x); }
    static V load8(const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                 _mm_setzero_si128());
    }
    static V load16(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
    static void store16(uint16_t* p, V a) { _mm_storeu_si128(reinterpret_cast<V*>(p), a); }
    static V add(V a, V b) { return _mm_add_epi16(a, b); }
    static V sub(V a, V b) { return _mm_sub_epi16(a, b); }
    static V mullo(V a, V b) { return _mm_mullo_epi16(a, b); }
    static V mulhiU(V a, V b) { return _mm_mulhi_epu16(a, b); }
    static V max(V a, V b) { return _mm_max_epi16(a, b); }
    static V min(V a, V b) { return _mm_min_epi16(a, b); }
    static V adds(V a, V b) { return _mm_adds_epi16(a, b); }
    static V subs(V a, V b) { return _mm_subs_epi16(a, b); }
    static V addsU(V a, V b) { return _mm_adds_epu16(a, b); }
    static V subsU(V a, V b) { return _mm_subs_epu16(a, b); }
    static V absDiffU(V a, V b) { return _mm_or_si128(_mm_subs_epu16(a, b), _mm_subs_epu16(b, a)); }
    static V cmpgt(V a, V b) { return _mm_cmpgt_epi16(a, b); }
    static V select(V m, V a, V b) {
        return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b));
    }
    template <int S>
    static V srli(V a) {
        return _mm_srli_epi16(a, S);
    }
    template <int S>
    static V srai(V a) {
        return _mm_srai_epi16(a, S);
    }
    template <int S>
    static V slli(V a) {
        return _mm_slli_epi16(a, S);
    }
    static V madd(V a, V b) { return _mm_madd_epi16(a, b); }
    static void widenU16(V a, V& lo, V& hi) {
        lo = _mm_unpacklo_epi16(a, _mm_setzero_si128());
        hi = _mm_unpackhi_epi16(a, _mm_setzero_si128());
    }
    static V narrowS32(V lo, V hi) { return _mm_packs_epi32(lo, hi); }
    static void mulAdd32(V a, int16_t wa, V b, int16_t wb, V& lo, V& hi) {
        const V w = _mm_set1_epi32(pairedWeight(wa, wb));
        lo = _mm_madd_epi16(_mm_unpacklo_epi16(a, b), w);
        hi = _mm_madd_epi16(_mm_unpackhi_epi16(a, b), w);
    }
    static V load8Doubled(const uint8_t* p) {
        int32_t four;
        __builtin_memcpy(&four, p, 4);
        const V x = _mm_unpacklo_epi8(_mm_cvtsi32_si128(four), _mm_setzero_si128());
        return _mm_unpacklo_epi16(x, x);
    }
    static void storePixels4(uint8_t* p, V c0, V c1, V c2, V c3) {
        const V b02 = _mm_packus_epi16(c0, c2), b13 = _mm_packus_epi16(c1, c3);
        const V pairs01 = _mm_unpacklo_epi8(b02, b13), pairs23 = _mm_unpackhi_epi8(b02, b13);
        _mm_storeu_si128(reinterpret_cast<V*>(p), _mm_unpacklo_epi16(pairs01, pairs23));
        _mm_storeu_si128(reinterpret_cast<V*>(p + 16), _mm_unpackhi_epi16(pairs01, pairs23));
    }

    static V repeat4(const int16_t* w) {
        return _mm_setr_epi16(w[0], w[1], w[2], w[3], w[0], w[1], w[2], w[3]);
    }
    // Sums of adjacent 32-bit lanes, a's then b's.
    static V pairSums32(V a, V b) {
        const __m128 fa = _mm_castsi128_ps(a), fb = _mm_castsi128_ps(b);
        return _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
                             _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))));
    }
    // Bytes 0 and 2 of each pixel against weights 0 and 2, bytes 1 and 3
    // against 1 and 3: each pixel's sum lands in its own 32-bit lane.
    static V dot4U8(B a, V w) {
        const V even = _mm_shufflehi_epi16(_mm_shufflelo_epi16(w, 0x88), 0x88);
        const V odd = _mm_shufflehi_epi16(_mm_shufflelo_epi16(w, 0xDD), 0xDD);
        return _mm_add_epi32(_mm_madd_epi16(_mm_and_si128(a, _mm_set1_epi16(0x00FF)), even),
                             _mm_madd_epi16(_mm_srli_epi16(a, 8), odd));
    }
    static V sum2x2U8(B r0, B r1) {
        const V zero = _mm_setzero_si128();
        const V lo = _mm_add_epi16(_mm_unpacklo_epi8(r0, zero), _mm_unpacklo_epi8(r1, zero));
        const V hi = _mm_add_epi16(_mm_unpackhi_epi8(r0, zero), _mm_unpackhi_epi8(r1, zero));
        return _mm_add_epi16(_mm_unpacklo_epi64(lo, hi), _mm_unpackhi_epi64(lo, hi));
    }
    static V dot4(V a, V b, V w) { return pairSums32(_mm_madd_epi16(a, w), _mm_madd_epi16(b, w)); }
    static V set32(int32_t x) { return _mm_set1_epi32(x); }
    template <int S>
    static V srai32(V a) {
        return _mm_srai_epi32(a, S);
    }
    static B narrowU8x4(V a, V b, V c, V d) {
        return _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
    }
    static V add32(V a, V b) { return _mm_add_epi32(a, b); }
    static int32_t hsum32(V a) {
        a = _mm_add_epi32(a, _mm_shuffle_epi32(a, _MM_SHUFFLE(1, 0, 3, 2)));
        a = _mm_add_epi32(a, _mm_shuffle_epi32(a, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtsi128_si32(a);
    }
    static int32_t hsum16(V a) { return hsum32(_mm_madd_epi16(a, _mm_set1_epi16(1))); }

    static B set8(uint8_t x) { return _mm_set1_epi8(static_cast<char>(x)); }
    static B loadU8(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const B*>(p)); }
    static void storeU8(uint8_t* p, B a) { _mm_storeu_si128(reinterpret_cast<B*>(p), a); }
    static B loadU8Halves(const uint8_t* p0, const uint8_t* p1) {
        return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const B*>(p0)),
                                  _mm_loadl_epi64(reinterpret_cast<const B*>(p1)));
    }
    static void storeU8Halves(uint8_t* p0, uint8_t* p1, B a) {
        _mm_storel_epi64(reinterpret_cast<B*>(p0), a);
        _mm_storel_epi64(reinterpret_cast<B*>(p1), _mm_unpackhi_epi64(a, a));
    }
    static B addsU8(B a, B b) { return _mm_adds_epu8(a, b); }
    static B subsU8(B a, B b) { return _mm_subs_epu8(a, b); }
    static B sub8(B a, B b) { return _mm_sub_epi8(a, b); }
    static B absDiffU8(B a, B b) { return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a)); }
    static B maxU8(B a, B b) { return _mm_max_epu8(a, b); }
    static B avgFloorU8(B a, B b) {
        // avg rounds up; take the odd sums' half back.
        return _mm_sub_epi8(_mm_avg_epu8(a, b),
                            _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
    }
    static B eq8(B a, B b) { return _mm_cmpeq_epi8(a, b); }
    static B leU8(B a, B b) { return _mm_cmpeq_epi8(_mm_subs_epu8(a, b), _mm_setzero_si128()); }
    static B and8(B a, B b) { return _mm_and_si128(a, b); }
    static B select8(B m, B a, B b) {
        return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b));
    }
    static void widenU8(B a, V& lo, V& hi) {
        lo = _mm_unpacklo_epi8(a, _mm_setzero_si128());
        hi = _mm_unpackhi_epi8(a, _mm_setzero_si128());
    }
    static void loadWidenU8(const uint8_t* p, V& lo, V& hi) { widenU8(loadU8(p), lo, hi); }
    static void widenS8(B a, V& lo, V& hi) {
        lo = _mm_srai_epi16(_mm_unpacklo_epi8(a, a), 8);
        hi = _mm_srai_epi16(_mm_unpackhi_epi8(a, a), 8);
    }
    static B narrowU8(V lo, V hi) { return _mm_packus_epi16(lo, hi); }
    static V pairMaxU8(B a) {
        return _mm_and_si128(_mm_max_epu8(a, _mm_srli_epi16(a, 8)), _mm_set1_epi16(0x00FF));
    }
    static void storeNarrowU8(uint8_t* p, V a) {
        _mm_storel_epi64(reinterpret_cast<V*>(p), _mm_packus_epi16(a, a));
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

    // Channel operations (cpu/lanes.h Channels16).
    static V mulhi(V a, V b) { return _mm_mulhi_epi16(a, b); }
    // The low and high 16 bits of each pixel packed apart (the pack keeps
    // the sign-extended bits), then split into bytes.
    static void loadPixels3(const uint8_t* p, V& c0, V& c1, V& c2) {
        const V a = _mm_loadu_si128(reinterpret_cast<const V*>(p));
        const V b = _mm_loadu_si128(reinterpret_cast<const V*>(p + 16));
        const V lo = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                                     _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
        const V hi = _mm_packs_epi32(_mm_srai_epi32(a, 16), _mm_srai_epi32(b, 16));
        const V byte = _mm_set1_epi16(0x00FF);
        c0 = _mm_and_si128(lo, byte);
        c1 = _mm_srli_epi16(lo, 8);
        c2 = _mm_and_si128(hi, byte);
    }
    static void lookup32(const uint32_t* table, V idx, V& lo, V& hi) {
        const V a = _mm_setr_epi32(
            static_cast<int>(table[_mm_extract_epi16(idx, 0)]),
            static_cast<int>(table[_mm_extract_epi16(idx, 1)]),
            static_cast<int>(table[_mm_extract_epi16(idx, 2)]),
            static_cast<int>(table[_mm_extract_epi16(idx, 3)]));
        const V b = _mm_setr_epi32(
            static_cast<int>(table[_mm_extract_epi16(idx, 4)]),
            static_cast<int>(table[_mm_extract_epi16(idx, 5)]),
            static_cast<int>(table[_mm_extract_epi16(idx, 6)]),
            static_cast<int>(table[_mm_extract_epi16(idx, 7)]));
        lo = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                             _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
        hi = _mm_packs_epi32(_mm_srai_epi32(a, 16), _mm_srai_epi32(b, 16));
    }
    static void loadPixels4(const uint8_t* p, V& c0, V& c1, V& c2, V& c3) {
        const V lo = _mm_loadu_si128(reinterpret_cast<const V*>(p));
        const V hi = _mm_loadu_si128(reinterpret_cast<const V*>(p + 16));
        const V low = _mm_set1_epi32(255);
        auto channel = [&](V a, V b) {
            return _mm_packs_epi32(_mm_and_si128(a, low), _mm_and_si128(b, low));
        };
        c0 = channel(lo, hi);
        c1 = channel(_mm_srli_epi32(lo, 8), _mm_srli_epi32(hi, 8));
        c2 = channel(_mm_srli_epi32(lo, 16), _mm_srli_epi32(hi, 16));
        c3 = _mm_packs_epi32(_mm_srli_epi32(lo, 24), _mm_srli_epi32(hi, 24));
    }
    // The colour cube's corner pairs and their weights (cpu/vec16.h).
    static V cubePairs(const uint64_t* t, const uint32_t* i, const uint32_t* j) {
        const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t + i[0]));
        const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t + j[0]));
        return _mm_xor_si128(_mm_unpacklo_epi16(a, b), _mm_set1_epi16(-32768));
    }
    static V repeat32(const int32_t* w) { return _mm_set1_epi32(w[0]); }

    static B avgU8(B a, B b) { return _mm_avg_epu8(a, b); }
    static V pixelPrefix(V a) {
        return _mm_add_epi16(_mm_add_epi16(_mm_slli_epi64(a, 16), _mm_slli_epi64(a, 32)),
                             _mm_slli_epi64(a, 48));
    }
    static void widenSplitU8(B a, V& lo, V& hi) { widenU8(a, lo, hi); }
    static void widenPairU8(B a, B b, V& lo, V& hi) {
        const __m128i z = _mm_setzero_si128();
        lo = _mm_add_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z));
        hi = _mm_add_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z));
    }
    static B narrowSplitU8(V lo, V hi) { return narrowU8(lo, hi); }
    // The low 16 bits of the product as a signed lane, whatever the
    // product's size (for an exact difference that is known to fit).
    static V mulloWrap(V a, V b) { return _mm_mullo_epi16(a, b); }
};
static_assert(kIsLaneOps16<SSE2Ops16>, "SSE2Ops16 lacks an operation of cpu/lanes.h");
static_assert(kIsChannels16<SSE2Ops16>, "SSE2Ops16 lacks a channel operation");
static_assert(kIsPackedPixels16<SSE2Ops16>, "SSE2Ops16 lacks a packed-pixel operation");
static_assert(kIsPixelPlanes16<SSE2Ops16>, "SSE2Ops16 lacks a pixel-plane operation");
static_assert(kIsPixelSums16<SSE2Ops16>, "SSE2Ops16 lacks a pixel-sum operation");
static_assert(kIsCubePairs16<SSE2Ops16>, "SSE2Ops16 lacks a cube-pair operation");

}  // namespace
}  // namespace video
}  // namespace kelvo
