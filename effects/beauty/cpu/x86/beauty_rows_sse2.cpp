#include <emmintrin.h>

#include <cstddef>
#include <cstring>

#include "effects/beauty/cpu/x86/beauty_rows_x86.h"
#include "effects/beauty/cpu/beauty_rows_kernel.h"
#include "cpu/vec_sse2.h"
#include "cpu/vec16_sse2.h"

namespace kelvo::video {
namespace {

struct SSE2Pixels {
    using I = __m128i;
    using F = __m128;
    static constexpr int kLanes = 4;
    using Ops = SSE2Ops;
    struct Weights {
        I w0, w1;
    };

    static I load(const void* p) { return _mm_loadu_si128(static_cast<const I*>(p)); }
    static void store(void* p, I v) { _mm_storeu_si128(static_cast<I*>(p), v); }
    static bool allZero(I a) {
        return _mm_movemask_epi8(_mm_cmpeq_epi32(a, _mm_setzero_si128())) == 0xffff;
    }
    static I gather(const uint8_t* base, I index) {
        alignas(16) int32_t i[4];
        int32_t v[4];
        _mm_store_si128(reinterpret_cast<I*>(i), index);
        for (int k = 0; k < 4; ++k) std::memcpy(&v[k], base + static_cast<ptrdiff_t>(i[k]) * 4, 4);
        return _mm_setr_epi32(v[0], v[1], v[2], v[3]);
    }
    // SSE2 has no variable shuffle.
    static constexpr bool kWindowPicks = false;
    // The 16-byte cells at the byte offsets, cell k in r[k].
    static void loadCells(const uint8_t* base, I offsets, I r[4]) {
        // Unsigned, so taking one needs no sign extension.
        alignas(16) uint32_t at[4];
        _mm_store_si128(reinterpret_cast<I*>(at), offsets);
        for (int k = 0; k < 4; ++k)
            r[k] = _mm_loadu_si128(reinterpret_cast<const I*>(base + at[k]));
    }
    static I unpackLo32(I a, I b) { return _mm_unpacklo_epi32(a, b); }
    static I unpackHi32(I a, I b) { return _mm_unpackhi_epi32(a, b); }
    static I unpackLo64(I a, I b) { return _mm_unpacklo_epi64(a, b); }
    static I unpackHi64(I a, I b) { return _mm_unpackhi_epi64(a, b); }
    template <int K>
    static I bytePair(I a) {
        const I mask = _mm_set1_epi32(255);
        return _mm_or_si128(_mm_and_si128(_mm_srli_epi32(a, 16 * K), mask),
                            _mm_slli_epi32(_mm_and_si128(_mm_srli_epi32(a, 16 * K + 8), mask), 16));
    }
    template <int K>
    static I byteLane(I a) {
        return _mm_and_si128(_mm_srli_epi32(a, 8 * K), _mm_set1_epi32(255));
    }
    static I set1(int v) { return _mm_set1_epi32(v); }
    static F set1f(float v) { return _mm_set1_ps(v); }
    static I andi(I a, I b) { return _mm_and_si128(a, b); }
    static I ori(I a, I b) { return _mm_or_si128(a, b); }
    static I add(I a, I b) { return _mm_add_epi32(a, b); }
    static I sub(I a, I b) { return _mm_sub_epi32(a, b); }
    static I maxi(I a, I b) {
        const I m = _mm_cmpgt_epi32(a, b);
        return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b));
    }
    static I mini(I a, I b) {
        const I m = _mm_cmplt_epi32(a, b);
        return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b));
    }
    template <int N>
    static I srli(I a) {
        return _mm_srli_epi32(a, N);
    }
    template <int N>
    static I slli(I a) {
        return _mm_slli_epi32(a, N);
    }
    template <int N>
    static I srai(I a) {
        return _mm_srai_epi32(a, N);
    }
    static F add(F a, F b) { return _mm_add_ps(a, b); }
    static F sub(F a, F b) { return _mm_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm_mul_ps(a, b); }
    static F div(F a, F b) { return _mm_div_ps(a, b); }
    static F min(F a, F b) { return _mm_min_ps(a, b); }
    static F max(F a, F b) { return _mm_max_ps(a, b); }
    static F cmpgt(F a, F b) { return _mm_cmpgt_ps(a, b); }
    static F cmplt(F a, F b) { return _mm_cmplt_ps(a, b); }
    static F cmpge(F a, F b) { return _mm_cmpge_ps(a, b); }
    static F cmple(F a, F b) { return _mm_cmple_ps(a, b); }
    static F fand(F a, F b) { return _mm_and_ps(a, b); }
    static F select(F mask, F a, F b) { return Ops::select(mask, a, b); }
    static F fandnot(F a, F b) { return _mm_andnot_ps(a, b); }
    static F for_(F a, F b) { return _mm_or_ps(a, b); }
    static bool noneSet(F mask) { return _mm_movemask_ps(mask) == 0; }
    static F toFloat(I a) { return _mm_cvtepi32_ps(a); }
    static I toIntRound(F a) { return _mm_cvtps_epi32(a); }
    static I toIntTrunc(F a) { return _mm_cvttps_epi32(a); }
    static I avgU8(I a, I b) { return _mm_avg_epu8(a, b); }
    // Pixels 2k and 2k + 1 of lo, hi, in order.
    static void deinterleave(I lo, I hi, I* even, I* odd) {
        const __m128 l = _mm_castsi128_ps(lo), h = _mm_castsi128_ps(hi);
        *even = _mm_castps_si128(_mm_shuffle_ps(l, h, _MM_SHUFFLE(2, 0, 2, 0)));
        *odd = _mm_castps_si128(_mm_shuffle_ps(l, h, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    // even[k], odd[k] as pixels 2k and 2k + 1 of out[0], out[1].
    static void interleave(I even, I odd, I out[2]) {
        out[0] = _mm_unpacklo_epi32(even, odd), out[1] = _mm_unpackhi_epi32(even, odd);
    }
    // Bytes as 16-bit lanes, in the halves narrow puts back together.
    static void widen(I a, I out[2]) {
        const I z = _mm_setzero_si128();
        out[0] = _mm_unpacklo_epi8(a, z), out[1] = _mm_unpackhi_epi8(a, z);
    }
    static I narrow(I lo, I hi) { return _mm_packus_epi16(lo, hi); }
    static I add16(I a, I b) { return _mm_add_epi16(a, b); }
    template <int N>
    static I srli16(I a) {
        return _mm_srli_epi16(a, N);
    }

    static Weights uniformWeights(uint32_t w) {
        return {_mm_set1_epi16(static_cast<short>(w & 0xffff)),
                _mm_set1_epi16(static_cast<short>(w >> 16))};
    }
    static I blendHalf(I a, I b, I w0, I w1) {
        const I sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a, w0), _mm_mullo_epi16(b, w1)),
                                    _mm_set1_epi16(128));
        return _mm_srli_epi16(sum, 8);
    }
    static I blend(I a, I b, Weights w) {
        const I z = _mm_setzero_si128();
        return _mm_packus_epi16(
            blendHalf(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z), w.w0, w.w1),
            blendHalf(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z), w.w0, w.w1));
    }
    // Each pixel's w0 and w1 spread over its four 16-bit channel lanes.
    static Weights spread(I pair) {
        const I w0 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(pair, _MM_SHUFFLE(2, 0, 2, 0)),
                                         _MM_SHUFFLE(2, 0, 2, 0));
        const I w1 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(pair, _MM_SHUFFLE(3, 1, 3, 1)),
                                         _MM_SHUFFLE(3, 1, 3, 1));
        return {w0, w1};
    }
    static I blendPerPixel(I a, I b, I w) {
        const I z = _mm_setzero_si128();
        const Weights lo = spread(_mm_unpacklo_epi32(w, w));
        const Weights hi = spread(_mm_unpackhi_epi32(w, w));
        return _mm_packus_epi16(
            blendHalf(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z), lo.w0, lo.w1),
            blendHalf(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z), hi.w0, hi.w1));
    }
    static I madd(I a, I b) { return _mm_madd_epi16(a, b); }
    // pmulhrsw is SSSE3: the table reads keep the madd blends.
    static constexpr bool kRoundingMultiply = false;

    // The mix's 16-bit lanes: 8 pixels, in two halves of this set's width.
    using Ops16 = SSE2Ops16;
    static void floats16(I a, F out[2]) {
        I lo, hi;
        Ops16::widenU16(a, lo, hi);
        out[0] = _mm_cvtepi32_ps(lo), out[1] = _mm_cvtepi32_ps(hi);
    }
    static I ints16(I lo, I hi) { return Ops16::narrowS32(lo, hi); }
    static bool noneSet16(I m) { return _mm_movemask_epi8(m) == 0; }

    // Byte averages rounded down: the rounded one less its dropped half.
    static I avgFloorU8(I a, I b) {
        return _mm_sub_epi8(_mm_avg_epu8(a, b),
                            _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
    }
};

}  // namespace
}  // namespace kelvo::video

namespace kelvo::video {

static_assert(kIsPixelLanes<SSE2Pixels>, "SSE2Pixels lacks an operation of the pixel lanes in cpu/lanes.h");
static_assert(kIsPixelFloorAverages<SSE2Pixels>, "SSE2Pixels lacks avgFloorU8");
using Rows = BeautyLaneRows<SSE2Pixels>;

void BeautyDownsizeRow_SSE2(const uint8_t* src, const int32_t* x0, const int32_t* x1,
                            const uint32_t* weights, uint8_t* dst, int width) {
    Rows::downsize(src, x0, x1, weights, dst, width);
}
void BeautyHalveRow_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    Rows::halve(src, dst, width);
}
void BeautyDoubleRow_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    Rows::doubled(src, dst, width);
}
void BeautyBlurRgbColumnRow_SSE2(const BeautyColumnTaps& taps, uint8_t* dst, int width) {
    Rows::blurRgbColumn(taps, dst, width);
}
void BeautySoften2Row_SSE2(const uint8_t* blur, const uint8_t* in0, const uint8_t* in1,
                           uint32_t inWeight, uint8_t* dst, int width) {
    Rows::soften2(blur, in0, in1, inWeight, dst, width);
}
void BeautyBlurAlphaRow_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    Rows::blurAlpha(src, dst, width);
}
void BeautyBlurAlphaColumnRow_SSE2(const uint8_t* const* rows, uint8_t* dst, int width) {
    Rows::blurAlphaColumn(rows, dst, width);
}
void BeautyMixRow_SSE2(const BeautyMixUniforms& u, const uint8_t* above, const uint8_t* row,
                       const uint8_t* below, const uint8_t* blur0, const uint8_t* blur1,
                       uint32_t blurWeight, uint8_t* dst, int width) {
    Rows::mix(u, above, row, below, blur0, blur1, blurWeight, dst, width);
}
void BeautyGradeRow_SSE2(const BeautyMixUniforms& u, float* rgb, int count) {
    Rows::gradeRow(u, rgb, count);
}

}  // namespace kelvo::video
