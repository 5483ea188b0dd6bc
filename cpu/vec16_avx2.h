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
    using B = __m256i;

    static V set(int16_t x) { return _mm256_set1_epi16(x); }
    static V load8(const uint8_t* p) {
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static V load16(const uint16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
    static void store16(uint16_t* p, V a) { _mm256_storeu_si256(reinterpret_cast<V*>(p), a); }
    static V add(V a, V b) { return _mm256_add_epi16(a, b); }
    static V sub(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V mullo(V a, V b) { return _mm256_mullo_epi16(a, b); }
    static V mulhiU(V a, V b) { return _mm256_mulhi_epu16(a, b); }
    static V max(V a, V b) { return _mm256_max_epi16(a, b); }
    static V min(V a, V b) { return _mm256_min_epi16(a, b); }
    static V adds(V a, V b) { return _mm256_adds_epi16(a, b); }
    static V subs(V a, V b) { return _mm256_subs_epi16(a, b); }
    static V addsU(V a, V b) { return _mm256_adds_epu16(a, b); }
    static V subsU(V a, V b) { return _mm256_subs_epu16(a, b); }
    static V absDiffU(V a, V b) {
        return _mm256_or_si256(_mm256_subs_epu16(a, b), _mm256_subs_epu16(b, a));
    }
    static V cmpgt(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
    static V select(V m, V a, V b) { return _mm256_blendv_epi8(b, a, m); }
    template <int S>
    static V srli(V a) {
        return _mm256_srli_epi16(a, S);
    }
    template <int S>
    static V srai(V a) {
        return _mm256_srai_epi16(a, S);
    }
    template <int S>
    static V slli(V a) {
        return _mm256_slli_epi16(a, S);
    }
    static V madd(V a, V b) { return _mm256_madd_epi16(a, b); }
    // Halves split within each 128-bit half, as the packs undo.
    static void widenU16(V a, V& lo, V& hi) {
        lo = _mm256_unpacklo_epi16(a, _mm256_setzero_si256());
        hi = _mm256_unpackhi_epi16(a, _mm256_setzero_si256());
    }
    static V narrowS32(V lo, V hi) { return _mm256_packs_epi32(lo, hi); }
    static void mulAdd32(V a, int16_t wa, V b, int16_t wb, V& lo, V& hi) {
        const V w = _mm256_set1_epi32(pairedWeight(wa, wb));
        lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), w);
        hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), w);
    }
    static V load8Doubled(const uint8_t* p) {
        const V x = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
        return _mm256_or_si256(x, _mm256_slli_epi32(x, 16));
    }
    static void storePixels4(uint8_t* p, V c0, V c1, V c2, V c3) {
        const V b02 = _mm256_packus_epi16(c0, c2), b13 = _mm256_packus_epi16(c1, c3);
        const V pairs01 = _mm256_unpacklo_epi8(b02, b13), pairs23 = _mm256_unpackhi_epi8(b02, b13);
        const V lo = _mm256_unpacklo_epi16(pairs01, pairs23);  // pixels 0..3, 8..11
        const V hi = _mm256_unpackhi_epi16(pairs01, pairs23);  // pixels 4..7, 12..15
        _mm256_storeu_si256(reinterpret_cast<V*>(p), _mm256_permute2x128_si256(lo, hi, 0x20));
        _mm256_storeu_si256(reinterpret_cast<V*>(p + 32), _mm256_permute2x128_si256(lo, hi, 0x31));
    }

    static V repeat4(const int16_t* w) {
        return _mm256_setr_epi16(w[0], w[1], w[2], w[3], w[0], w[1], w[2], w[3], w[0], w[1], w[2],
                                 w[3], w[0], w[1], w[2], w[3]);
    }
    // Sums of adjacent 32-bit lanes within each 128-bit half: a's then b's
    // there.
    static V pairSums32(V a, V b) {
        const __m256 fa = _mm256_castsi256_ps(a), fb = _mm256_castsi256_ps(b);
        return _mm256_add_epi32(
            _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
            _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))));
    }
    // As SSE2's: bytes 0 and 2 against weights 0 and 2, 1 and 3 against 1
    // and 3, each pixel's sum in its own 32-bit lane.
    static V dot4U8(B a, V w) {
        const V even = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(w, 0x88), 0x88);
        const V odd = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(w, 0xDD), 0xDD);
        return _mm256_add_epi32(
            _mm256_madd_epi16(_mm256_and_si256(a, _mm256_set1_epi16(0x00FF)), even),
            _mm256_madd_epi16(_mm256_srli_epi16(a, 8), odd));
    }
    static V sum2x2U8(B r0, B r1) {
        const V zero = _mm256_setzero_si256();
        const V lo =
            _mm256_add_epi16(_mm256_unpacklo_epi8(r0, zero), _mm256_unpacklo_epi8(r1, zero));
        const V hi =
            _mm256_add_epi16(_mm256_unpackhi_epi8(r0, zero), _mm256_unpackhi_epi8(r1, zero));
        return _mm256_add_epi16(_mm256_unpacklo_epi64(lo, hi), _mm256_unpackhi_epi64(lo, hi));
    }
    static V dot4(V a, V b, V w) {
        return _mm256_permute4x64_epi64(
            pairSums32(_mm256_madd_epi16(a, w), _mm256_madd_epi16(b, w)), 0xD8);
    }
    static V set32(int32_t x) { return _mm256_set1_epi32(x); }
    template <int S>
    static V srai32(V a) {
        return _mm256_srai_epi32(a, S);
    }
    // The packs leave 32-bit groups a0 b0 c0 d0 a1 b1 c1 d1.
    static B narrowU8x4(V a, V b, V c, V d) {
        return _mm256_permutevar8x32_epi32(
            _mm256_packus_epi16(_mm256_packs_epi32(a, b), _mm256_packs_epi32(c, d)),
            _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    }
    static V add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static int32_t hsum32(V a) {
        __m128i s = _mm_add_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
        s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(1, 0, 3, 2)));
        s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtsi128_si32(s);
    }
    static int32_t hsum16(V a) { return hsum32(_mm256_madd_epi16(a, _mm256_set1_epi16(1))); }

    static B set8(uint8_t x) { return _mm256_set1_epi8(static_cast<char>(x)); }
    static B loadU8(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const B*>(p)); }
    static void storeU8(uint8_t* p, B a) { _mm256_storeu_si256(reinterpret_cast<B*>(p), a); }
    static B loadU8Halves(const uint8_t* p0, const uint8_t* p1) {
        return _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p0))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1)), 1);
    }
    static void storeU8Halves(uint8_t* p0, uint8_t* p1, B a) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p0), _mm256_castsi256_si128(a));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p1), _mm256_extracti128_si256(a, 1));
    }
    static B addsU8(B a, B b) { return _mm256_adds_epu8(a, b); }
    static B subsU8(B a, B b) { return _mm256_subs_epu8(a, b); }
    static B sub8(B a, B b) { return _mm256_sub_epi8(a, b); }
    static B absDiffU8(B a, B b) {
        return _mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a));
    }
    static B maxU8(B a, B b) { return _mm256_max_epu8(a, b); }
    static B avgFloorU8(B a, B b) {
        return _mm256_sub_epi8(_mm256_avg_epu8(a, b),
                               _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
    }
    static B eq8(B a, B b) { return _mm256_cmpeq_epi8(a, b); }
    static B leU8(B a, B b) {
        return _mm256_cmpeq_epi8(_mm256_subs_epu8(a, b), _mm256_setzero_si256());
    }
    static B and8(B a, B b) { return _mm256_and_si256(a, b); }
    static B select8(B m, B a, B b) { return _mm256_blendv_epi8(b, a, m); }
    static void widenU8(B a, V& lo, V& hi) {
        lo = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(a));
        hi = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(a, 1));
    }
    static void loadWidenU8(const uint8_t* p, V& lo, V& hi) {
        lo = load8(p);
        hi = load8(p + N);
    }
    static void widenS8(B a, V& lo, V& hi) {
        lo = _mm256_cvtepi8_epi16(_mm256_castsi256_si128(a));
        hi = _mm256_cvtepi8_epi16(_mm256_extracti128_si256(a, 1));
    }
    // The pack works within 128-bit halves; the permute puts the quarters in order.
    static B narrowU8(V lo, V hi) {
        return _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
    }
    static V pairMaxU8(B a) {
        return _mm256_and_si256(_mm256_max_epu8(a, _mm256_srli_epi16(a, 8)),
                                _mm256_set1_epi16(0x00FF));
    }
    static void storeNarrowU8(uint8_t* p, V a) {
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(p),
            _mm_packus_epi16(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1)));
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

    // Channel operations (cpu/lanes.h Channels16).
    static V mulhi(V a, V b) { return _mm256_mulhi_epi16(a, b); }
    // As SSE2's, the packs' 128-bit halves put back in order.
    static void loadPixels3(const uint8_t* p, V& c0, V& c1, V& c2) {
        const V a = _mm256_loadu_si256(reinterpret_cast<const V*>(p));
        const V b = _mm256_loadu_si256(reinterpret_cast<const V*>(p + 32));
        const V lo = _mm256_permute4x64_epi64(
            _mm256_packs_epi32(_mm256_srai_epi32(_mm256_slli_epi32(a, 16), 16),
                               _mm256_srai_epi32(_mm256_slli_epi32(b, 16), 16)),
            0xD8);
        const V hi = _mm256_permute4x64_epi64(
            _mm256_packs_epi32(_mm256_srai_epi32(a, 16), _mm256_srai_epi32(b, 16)), 0xD8);
        const V byte = _mm256_set1_epi16(0x00FF);
        c0 = _mm256_and_si256(lo, byte);
        c1 = _mm256_srli_epi16(lo, 8);
        c2 = _mm256_and_si256(hi, byte);
    }
    // Scalar reads through memory: faster than vpgatherdd where a gather
    // is microcoded.
    static void lookup32(const uint32_t* table, V idx, V& lo, V& hi) {
        alignas(32) uint16_t i[16];
        alignas(32) uint32_t v[16];
        _mm256_store_si256(reinterpret_cast<V*>(i), idx);
        for (int k = 0; k < 16; ++k) v[k] = table[i[k]];
        const V a = _mm256_load_si256(reinterpret_cast<const V*>(v));
        const V b = _mm256_load_si256(reinterpret_cast<const V*>(v + 8));
        const V low = _mm256_set1_epi32(0xFFFF);
        lo = _mm256_permute4x64_epi64(
            _mm256_packus_epi32(_mm256_and_si256(a, low), _mm256_and_si256(b, low)), 0xD8);
        hi = _mm256_permute4x64_epi64(
            _mm256_packus_epi32(_mm256_srli_epi32(a, 16), _mm256_srli_epi32(b, 16)), 0xD8);
    }
    // Each 128-bit part grouped by channel, its 32-bit groups put in order
    // (r, g, b, a of pixels 0..7 as 64-bit quarters), then the quarters of
    // both halves paired.
    static void loadPixels4(const uint8_t* p, V& c0, V& c1, V& c2, V& c3) {
        const __m128i m = _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
        const V group = _mm256_setr_m128i(m, m), order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
        auto planes = [&](const uint8_t* at) {
            const V x =
                _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const V*>(at)), group);
            return _mm256_permutevar8x32_epi32(x, order);
        };
        const V a = planes(p), b = planes(p + 32);
        const V rb = _mm256_unpacklo_epi64(a, b), ga = _mm256_unpackhi_epi64(a, b);
        c0 = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(rb));
        c1 = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(ga));
        c2 = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(rb, 1));
        c3 = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(ga, 1));
    }
    // The colour cube's corner pairs and their weights (cpu/vec16.h).
    static V cubePairs(const uint64_t* t, const uint32_t* i, const uint32_t* j) {
        auto load = [](const uint64_t* p) {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        };
        const __m256i a = _mm256_inserti128_si256(_mm256_castsi128_si256(load(t + i[0])),
                                                  load(t + i[1]), 1);
        const __m256i b = _mm256_inserti128_si256(_mm256_castsi128_si256(load(t + j[0])),
                                                  load(t + j[1]), 1);
        return _mm256_xor_si256(_mm256_unpacklo_epi16(a, b), _mm256_set1_epi16(-32768));
    }
    static V repeat32(const int32_t* w) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_set1_epi32(w[0])),
                                       _mm_set1_epi32(w[1]), 1);
    }

    static B avgU8(B a, B b) { return _mm256_avg_epu8(a, b); }
    static V pixelPrefix(V a) {
        return _mm256_add_epi16(
            _mm256_add_epi16(_mm256_slli_epi64(a, 16), _mm256_slli_epi64(a, 32)),
            _mm256_slli_epi64(a, 48));
    }
    // Unpacked within 128-bit halves, so the narrowing needs no permute;
    // a pair is summed by the multiply-add of its interleaved bytes.
    static void widenSplitU8(B a, V& lo, V& hi) {
        const __m256i z = _mm256_setzero_si256();
        lo = _mm256_unpacklo_epi8(a, z);
        hi = _mm256_unpackhi_epi8(a, z);
    }
    static void widenPairU8(B a, B b, V& lo, V& hi) {
        const __m256i ones = _mm256_set1_epi8(1);
        lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), ones);
        hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), ones);
    }
    static B narrowSplitU8(V lo, V hi) { return _mm256_packus_epi16(lo, hi); }
    // The low 16 bits of the product as a signed lane, whatever the
    // product's size (for an exact difference that is known to fit).
    static V mulloWrap(V a, V b) { return _mm256_mullo_epi16(a, b); }
};
static_assert(kIsLaneOps16<AVX2Ops16>, "AVX2Ops16 lacks an operation of cpu/lanes.h");
static_assert(kIsChannels16<AVX2Ops16>, "AVX2Ops16 lacks a channel operation");
static_assert(kIsPackedPixels16<AVX2Ops16>, "AVX2Ops16 lacks a packed-pixel operation");
static_assert(kIsPixelPlanes16<AVX2Ops16>, "AVX2Ops16 lacks a pixel-plane operation");
static_assert(kIsPixelSums16<AVX2Ops16>, "AVX2Ops16 lacks a pixel-sum operation");
static_assert(kIsCubePairs16<AVX2Ops16>, "AVX2Ops16 lacks a cube-pair operation");

}  // namespace
}  // namespace video
}  // namespace kelvo
