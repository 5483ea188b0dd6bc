#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "effects/beauty/cpu/x86/beauty_rows_x86.h"
#include "effects/beauty/cpu/beauty_rows_kernel.h"
#include "cpu/vec_avx2.h"
#include "cpu/vec16_avx2.h"

namespace kelvo::video {
namespace {

struct AVX2Pixels {
    using I = __m256i;
    using F = __m256;
    static constexpr int kLanes = 8;
    using Ops = AVX2Ops;
    struct Weights {
        I w0, w1;
    };

    static I load(const void* p) { return _mm256_loadu_si256(static_cast<const I*>(p)); }
    static void store(void* p, I v) { _mm256_storeu_si256(static_cast<I*>(p), v); }
    static bool allZero(I a) { return _mm256_testz_si256(a, a); }
    static I gather(const uint8_t* base, I index) {
        return _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), index, 4);
    }
    static constexpr bool kWindowPicks = true;
    static I pick(I lo, I hi, I offsets) {
        const I fromLo = _mm256_permutevar8x32_epi32(lo, offsets);
        const I fromHi = _mm256_permutevar8x32_epi32(hi, offsets);
        return _mm256_blendv_epi8(fromLo, fromHi,
                                  _mm256_cmpgt_epi32(offsets, _mm256_set1_epi32(7)));
    }
    // The 16-byte cells at the byte offsets, cell k and k + 4 in r[k].
    static void loadCells(const uint8_t* base, I offsets, I r[4]) {
        // Taken two at a time (fewer extracts than one by one), and
        // unsigned, so taking one needs no sign extension.
        alignas(32) uint64_t pairs[4];
        _mm256_store_si256(reinterpret_cast<I*>(pairs), offsets);
        auto cell = [&](int k) {
            const uint32_t at = static_cast<uint32_t>(pairs[k / 2] >> (32 * (k % 2)));
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at));
        };
        for (int k = 0; k < 4; ++k) r[k] = _mm256_setr_m128i(cell(k), cell(k + 4));
    }
    static I unpackLo32(I a, I b) { return _mm256_unpacklo_epi32(a, b); }
    static I unpackHi32(I a, I b) { return _mm256_unpackhi_epi32(a, b); }
    static I unpackLo64(I a, I b) { return _mm256_unpacklo_epi64(a, b); }
    static I unpackHi64(I a, I b) { return _mm256_unpackhi_epi64(a, b); }
    template <int K>
    static I bytePair(I a) {
        const char lo = 2 * K, hi = 2 * K + 1, z = -1;
        const __m128i m = _mm_setr_epi8(lo, z, hi, z, lo + 4, z, hi + 4, z, lo + 8, z, hi + 8, z,
                                        lo + 12, z, hi + 12, z);
        return _mm256_shuffle_epi8(a, _mm256_setr_m128i(m, m));
    }
    template <int K>
    static I byteLane(I a) {
        const char k = K, z = -1;
        const __m128i m =
            _mm_setr_epi8(k, z, z, z, k + 4, z, z, z, k + 8, z, z, z, k + 12, z, z, z);
        return _mm256_shuffle_epi8(a, _mm256_setr_m128i(m, m));
    }
    static I set1(int v) { return _mm256_set1_epi32(v); }
    static F set1f(float v) { return _mm256_set1_ps(v); }
    static I andi(I a, I b) { return _mm256_and_si256(a, b); }
    static I ori(I a, I b) { return _mm256_or_si256(a, b); }
    static I add(I a, I b) { return _mm256_add_epi32(a, b); }
    static I sub(I a, I b) { return _mm256_sub_epi32(a, b); }
    static I maxi(I a, I b) { return _mm256_max_epi32(a, b); }
    static I mini(I a, I b) { return _mm256_min_epi32(a, b); }
    template <int N>
    static I srli(I a) {
        return _mm256_srli_epi32(a, N);
    }
    template <int N>
    static I slli(I a) {
        return _mm256_slli_epi32(a, N);
    }
    template <int N>
    static I srai(I a) {
        return _mm256_srai_epi32(a, N);
    }
    static F add(F a, F b) { return _mm256_add_ps(a, b); }
    static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static F div(F a, F b) { return _mm256_div_ps(a, b); }
    static F min(F a, F b) { return _mm256_min_ps(a, b); }
    static F max(F a, F b) { return _mm256_max_ps(a, b); }
    static F cmpgt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static F cmplt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static F cmpge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    static F cmple(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    static F fand(F a, F b) { return _mm256_and_ps(a, b); }
    static F select(F mask, F a, F b) { return Ops::select(mask, a, b); }
    static F fandnot(F a, F b) { return _mm256_andnot_ps(a, b); }
    static F for_(F a, F b) { return _mm256_or_ps(a, b); }
    static bool noneSet(F mask) { return _mm256_movemask_ps(mask) == 0; }
    static F toFloat(I a) { return _mm256_cvtepi32_ps(a); }
    static I toIntRound(F a) { return _mm256_cvtps_epi32(a); }
    static I toIntTrunc(F a) { return _mm256_cvttps_epi32(a); }
    static I avgU8(I a, I b) { return _mm256_avg_epu8(a, b); }
    // Pixels 2k and 2k + 1 of lo, hi, in order.
    static void deinterleave(I lo, I hi, I* even, I* odd) {
        const __m256 l = _mm256_castsi256_ps(lo), h = _mm256_castsi256_ps(hi);
        // Within 128-bit parts, then the 64-bit quarters put in order.
        *even = _mm256_permute4x64_epi64(
            _mm256_castps_si256(_mm256_shuffle_ps(l, h, _MM_SHUFFLE(2, 0, 2, 0))),
            _MM_SHUFFLE(3, 1, 2, 0));
        *odd = _mm256_permute4x64_epi64(
            _mm256_castps_si256(_mm256_shuffle_ps(l, h, _MM_SHUFFLE(3, 1, 3, 1))),
            _MM_SHUFFLE(3, 1, 2, 0));
    }
    // even[k], odd[k] as pixels 2k and 2k + 1 of out[0], out[1].
    static void interleave(I even, I odd, I out[2]) {
        const I lo = _mm256_unpacklo_epi32(even, odd), hi = _mm256_unpackhi_epi32(even, odd);
        out[0] = _mm256_permute2x128_si256(lo, hi, 0x20);
        out[1] = _mm256_permute2x128_si256(lo, hi, 0x31);
    }
    // Bytes as 16-bit lanes, in the halves narrow puts back together.
    static void widen(I a, I out[2]) {
        const I z = _mm256_setzero_si256();
        out[0] = _mm256_unpacklo_epi8(a, z), out[1] = _mm256_unpackhi_epi8(a, z);
    }
    static I narrow(I lo, I hi) { return _mm256_packus_epi16(lo, hi); }

    static Weights uniformWeights(uint32_t w) {
        return {_mm256_set1_epi16(static_cast<short>(w & 0xffff)),
                _mm256_set1_epi16(static_cast<short>(w >> 16))};
    }
    static I blendHalf(I a, I b, I w0, I w1) {
        const I sum =
            _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, w0), _mm256_mullo_epi16(b, w1)),
                             _mm256_set1_epi16(128));
        return _mm256_srli_epi16(sum, 8);
    }
    static I blend(I a, I b, Weights w) {
        const I z = _mm256_setzero_si256();
        return _mm256_packus_epi16(
            blendHalf(_mm256_unpacklo_epi8(a, z), _mm256_unpacklo_epi8(b, z), w.w0, w.w1),
            blendHalf(_mm256_unpackhi_epi8(a, z), _mm256_unpackhi_epi8(b, z), w.w0, w.w1));
    }
    // Each pixel's w0 and w1 spread over its four 16-bit channel lanes.
    static Weights spread(I pair) {
        const I w0 = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(pair, _MM_SHUFFLE(2, 0, 2, 0)),
                                            _MM_SHUFFLE(2, 0, 2, 0));
        const I w1 = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(pair, _MM_SHUFFLE(3, 1, 3, 1)),
                                            _MM_SHUFFLE(3, 1, 3, 1));
        return {w0, w1};
    }
    static I blendPerPixel(I a, I b, I w) {
        const I z = _mm256_setzero_si256();
        const Weights lo = spread(_mm256_unpacklo_epi32(w, w));
        const Weights hi = spread(_mm256_unpackhi_epi32(w, w));
        return _mm256_packus_epi16(
            blendHalf(_mm256_unpacklo_epi8(a, z), _mm256_unpacklo_epi8(b, z), lo.w0, lo.w1),
            blendHalf(_mm256_unpackhi_epi8(a, z), _mm256_unpackhi_epi8(b, z), hi.w0, hi.w1));
    }
    static I madd(I a, I b) { return _mm256_madd_epi16(a, b); }

    // 16-bit lanes, for the table reads' rounding-multiply blends.
    static constexpr bool kRoundingMultiply = true;
    static I bits(F a) { return _mm256_castps_si256(a); }
    static I add16(I a, I b) { return _mm256_add_epi16(a, b); }
    static I sub16(I a, I b) { return _mm256_sub_epi16(a, b); }
    static I mulhrs(I a, I b) { return _mm256_mulhrs_epi16(a, b); }
    template <int N>
    static I slli16(I a) {
        return _mm256_slli_epi16(a, N);
    }
    template <int N>
    static I srli16(I a) {
        return _mm256_srli_epi16(a, N);
    }
    template <int Mask>
    static I blend16(I a, I b) {
        return _mm256_blend_epi16(a, b, Mask);
    }
    // Element (index & 7) of the 8 floats at `table` in each lane.
    static F permute(const float* table, I index) {
        return _mm256_permutevar8x32_ps(_mm256_loadu_ps(table), index);
    }
    static I maxi16(I a, I b) { return _mm256_max_epi16(a, b); }
    static I mini16(I a, I b) { return _mm256_min_epi16(a, b); }
    // Each lane's a and b saturated to 16 bits, as its low and high half.
    static I packPairs(I a, I b) {
        const __m128i m = _mm_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
        return _mm256_shuffle_epi8(_mm256_packs_epi32(a, b), _mm256_setr_m128i(m, m));
    }
    // Bytes B0..B3 of each 32-bit lane, in that order; -1 gives zero.
    template <int B0, int B1, int B2, int B3>
    static I laneBytes(I a) {
        auto at = [](int b, int lane) { return static_cast<char>(b < 0 ? -1 : b + 4 * lane); };
        const __m128i m = _mm_setr_epi8(
            at(B0, 0), at(B1, 0), at(B2, 0), at(B3, 0), at(B0, 1), at(B1, 1), at(B2, 1), at(B3, 1),
            at(B0, 2), at(B1, 2), at(B2, 2), at(B3, 2), at(B0, 3), at(B1, 3), at(B2, 3), at(B3, 3));
        return _mm256_shuffle_epi8(a, _mm256_setr_m128i(m, m));
    }

    // The mix's 16-bit lanes: 16 pixels, in two halves of this set's width.
    using Ops16 = AVX2Ops16;
    static void floats16(I a, F out[2]) {
        I lo, hi;
        Ops16::widenU16(a, lo, hi);
        out[0] = _mm256_cvtepi32_ps(lo), out[1] = _mm256_cvtepi32_ps(hi);
    }
    static I ints16(I lo, I hi) { return Ops16::narrowS32(lo, hi); }
    static bool noneSet16(I m) { return _mm256_testz_si256(m, m); }

    static I avgFloorU8(I a, I b) {
        return _mm256_sub_epi8(_mm256_avg_epu8(a, b),
                               _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
    }
};

}  // namespace
}  // namespace kelvo::video

namespace kelvo::video {

static_assert(kIsPixelLanes<AVX2Pixels>, "AVX2Pixels lacks an operation of the pixel lanes in cpu/lanes.h");
static_assert(kIsPixelFloorAverages<AVX2Pixels>, "AVX2Pixels lacks avgFloorU8");
using Rows = BeautyLaneRows<AVX2Pixels>;

void BeautyDownsizeRow_AVX2(const uint8_t* src, const int32_t* x0, const int32_t* x1,
                            const uint32_t* weights, uint8_t* dst, int width) {
    Rows::downsize(src, x0, x1, weights, dst, width);
}
void BeautyHalveRow_AVX2(const uint8_t* src, uint8_t* dst, int width) {
    Rows::halve(src, dst, width);
}
void BeautyDoubleRow_AVX2(const uint8_t* src, uint8_t* dst, int width) {
    Rows::doubled(src, dst, width);
}
void BeautyBlurRgbColumnRow_AVX2(const BeautyColumnTaps& taps, uint8_t* dst, int width) {
    Rows::blurRgbColumn(taps, dst, width);
}
void BeautySoften2Row_AVX2(const uint8_t* blur, const uint8_t* in0, const uint8_t* in1,
                           uint32_t inWeight, uint8_t* dst, int width) {
    Rows::soften2(blur, in0, in1, inWeight, dst, width);
}
void BeautyBlurAlphaRow_AVX2(const uint8_t* src, uint8_t* dst, int width) {
    Rows::blurAlpha(src, dst, width);
}
void BeautyBlurAlphaColumnRow_AVX2(const uint8_t* const* rows, uint8_t* dst, int width) {
    Rows::blurAlphaColumn(rows, dst, width);
}
void BeautyMixRow_AVX2(const BeautyMixUniforms& u, const uint8_t* above, const uint8_t* row,
                       const uint8_t* below, const uint8_t* blur0, const uint8_t* blur1,
                       uint32_t blurWeight, uint8_t* dst, int width) {
    Rows::mix(u, above, row, below, blur0, blur1, blurWeight, dst, width);
}
void BeautyGradeRow_AVX2(const BeautyMixUniforms& u, float* rgb, int count) {
    Rows::gradeRow(u, rgb, count);
}

}  // namespace kelvo::video
