#include <wasm_simd128.h>

#include <cstddef>
#include <cstring>

#include "cpu/vec_wasm.h"
#include "cpu/vec16_wasm.h"
#include "effects/beauty/cpu/beauty_rows_kernel.h"
#include "effects/beauty/cpu/wasm/beauty_rows_wasm.h"

namespace kelvo::video {
namespace {

// The pixel lanes of the beauty rows in SIMD128, operation for operation
// those of SSE2 (min and max as compare-and-pick, rounding to nearest even).
struct WASMPixels {
    using Ops = WASMOps;
    using I = WASMOps::I;
    using F = WASMOps::F;
    static constexpr int kLanes = 4;
    struct Weights {
        v128_t w0, w1;
    };

    static v128_t v(I a) { return WASMOps::v(a); }
    static v128_t v(F a) { return WASMOps::v(a); }
    static I i(v128_t a) { return WASMOps::i(a); }
    static F f(v128_t a) { return WASMOps::f(a); }

    static I load(const void* p) { return i(wasm_v128_load(p)); }
    static void store(void* p, I a) { wasm_v128_store(p, v(a)); }
    static bool allZero(I a) { return !wasm_v128_any_true(v(a)); }
    static I gather(const uint8_t* base, I index) {
        int32_t px[4];
        for (int k = 0; k < 4; ++k) std::memcpy(&px[k], base + static_cast<ptrdiff_t>(index[k]) * 4, 4);
        return I{px[0], px[1], px[2], px[3]};
    }
    static constexpr bool kWindowPicks = false;
    static void loadCells(const uint8_t* base, I offsets, I r[4]) {
        for (int k = 0; k < 4; ++k) r[k] = load(base + static_cast<uint32_t>(offsets[k]));
    }
    static I unpackLo32(I a, I b) { return i(wasm_i32x4_shuffle(v(a), v(b), 0, 4, 1, 5)); }
    static I unpackHi32(I a, I b) { return i(wasm_i32x4_shuffle(v(a), v(b), 2, 6, 3, 7)); }
    static I unpackLo64(I a, I b) { return i(wasm_i64x2_shuffle(v(a), v(b), 0, 2)); }
    static I unpackHi64(I a, I b) { return i(wasm_i64x2_shuffle(v(a), v(b), 1, 3)); }
    template <int K>
    static I bytePair(I a) {
        const v128_t mask = wasm_i32x4_splat(255);
        return i(wasm_v128_or(
            wasm_v128_and(wasm_u32x4_shr(v(a), 16 * K), mask),
            wasm_i32x4_shl(wasm_v128_and(wasm_u32x4_shr(v(a), 16 * K + 8), mask), 16)));
    }
    template <int K>
    static I byteLane(I a) {
        return i(wasm_v128_and(wasm_u32x4_shr(v(a), 8 * K), wasm_i32x4_splat(255)));
    }
    static I set1(int x) { return i(wasm_i32x4_splat(x)); }
    static F set1f(float x) { return f(wasm_f32x4_splat(x)); }
    static I andi(I a, I b) { return i(wasm_v128_and(v(a), v(b))); }
    static I ori(I a, I b) { return i(wasm_v128_or(v(a), v(b))); }
    static I add(I a, I b) { return i(wasm_i32x4_add(v(a), v(b))); }
    static I sub(I a, I b) { return i(wasm_i32x4_sub(v(a), v(b))); }
    static I maxi(I a, I b) { return i(wasm_i32x4_max(v(a), v(b))); }
    static I mini(I a, I b) { return i(wasm_i32x4_min(v(a), v(b))); }
    template <int N>
    static I srli(I a) {
        return i(wasm_u32x4_shr(v(a), N));
    }
    template <int N>
    static I slli(I a) {
        return i(wasm_i32x4_shl(v(a), N));
    }
    template <int N>
    static I srai(I a) {
        return i(wasm_i32x4_shr(v(a), N));
    }
    static F add(F a, F b) { return f(wasm_f32x4_add(v(a), v(b))); }
    static F sub(F a, F b) { return f(wasm_f32x4_sub(v(a), v(b))); }
    static F mul(F a, F b) { return f(wasm_f32x4_mul(v(a), v(b))); }
    static F div(F a, F b) { return f(wasm_f32x4_div(v(a), v(b))); }
    static F min(F a, F b) { return Ops::min(a, b); }
    static F max(F a, F b) { return Ops::max(a, b); }
    static F cmpgt(F a, F b) { return f(wasm_f32x4_gt(v(a), v(b))); }
    static F cmplt(F a, F b) { return f(wasm_f32x4_lt(v(a), v(b))); }
    static F cmpge(F a, F b) { return f(wasm_f32x4_ge(v(a), v(b))); }
    static F cmple(F a, F b) { return f(wasm_f32x4_le(v(a), v(b))); }
    static F fand(F a, F b) { return f(wasm_v128_and(v(a), v(b))); }
    static F select(F mask, F a, F b) { return f(wasm_v128_bitselect(v(a), v(b), v(mask))); }
    // ~a & b.
    static F fandnot(F a, F b) { return f(wasm_v128_andnot(v(b), v(a))); }
    static bool noneSet(F mask) { return !wasm_v128_any_true(v(mask)); }
    static F toFloat(I a) { return f(wasm_f32x4_convert_i32x4(v(a))); }
    static I toIntRound(F a) { return i(wasm_i32x4_trunc_sat_f32x4(wasm_f32x4_nearest(v(a)))); }
    static I toIntTrunc(F a) { return i(wasm_i32x4_trunc_sat_f32x4(v(a))); }
    static I avgU8(I a, I b) { return i(wasm_u8x16_avgr(v(a), v(b))); }
    // Pixels 2k and 2k + 1 of lo, hi, in order.
    static void deinterleave(I lo, I hi, I* even, I* odd) {
        *even = i(wasm_i32x4_shuffle(v(lo), v(hi), 0, 2, 4, 6));
        *odd = i(wasm_i32x4_shuffle(v(lo), v(hi), 1, 3, 5, 7));
    }
    static void interleave(I even, I odd, I out[2]) {
        out[0] = unpackLo32(even, odd);
        out[1] = unpackHi32(even, odd);
    }
    static void widen(I a, I out[2]) {
        out[0] = i(wasm_u16x8_extend_low_u8x16(v(a)));
        out[1] = i(wasm_u16x8_extend_high_u8x16(v(a)));
    }
    static I narrow(I lo, I hi) { return i(wasm_u8x16_narrow_i16x8(v(lo), v(hi))); }
    static I add16(I a, I b) { return i(wasm_i16x8_add(v(a), v(b))); }
    template <int N>
    static I srli16(I a) {
        return i(wasm_u16x8_shr(v(a), N));
    }

    static Weights uniformWeights(uint32_t w) {
        return {wasm_i16x8_splat(static_cast<int16_t>(w & 0xffff)),
                wasm_i16x8_splat(static_cast<int16_t>(w >> 16))};
    }
    static v128_t blendHalf(v128_t a, v128_t b, v128_t w0, v128_t w1) {
        const v128_t sum = wasm_i16x8_add(
            wasm_i16x8_add(wasm_i16x8_mul(a, w0), wasm_i16x8_mul(b, w1)), wasm_i16x8_splat(128));
        return wasm_u16x8_shr(sum, 8);
    }
    static I blend(I a, I b, Weights w) {
        return i(wasm_u8x16_narrow_i16x8(
            blendHalf(wasm_u16x8_extend_low_u8x16(v(a)), wasm_u16x8_extend_low_u8x16(v(b)), w.w0,
                      w.w1),
            blendHalf(wasm_u16x8_extend_high_u8x16(v(a)), wasm_u16x8_extend_high_u8x16(v(b)), w.w0,
                      w.w1)));
    }
    // Each pixel's w0 and w1 (16-bit halves of its lane) over its four
    // channel lanes; `pair` holds two pixels' lanes, each twice.
    static Weights spread(v128_t pair) {
        return {wasm_i16x8_shuffle(pair, pair, 0, 2, 0, 2, 4, 6, 4, 6),
                wasm_i16x8_shuffle(pair, pair, 1, 3, 1, 3, 5, 7, 5, 7)};
    }
    static I blendPerPixel(I a, I b, I w) {
        const Weights lo = spread(wasm_i32x4_shuffle(v(w), v(w), 0, 4, 1, 5));
        const Weights hi = spread(wasm_i32x4_shuffle(v(w), v(w), 2, 6, 3, 7));
        return i(wasm_u8x16_narrow_i16x8(
            blendHalf(wasm_u16x8_extend_low_u8x16(v(a)), wasm_u16x8_extend_low_u8x16(v(b)), lo.w0,
                      lo.w1),
            blendHalf(wasm_u16x8_extend_high_u8x16(v(a)), wasm_u16x8_extend_high_u8x16(v(b)), hi.w0,
                      hi.w1)));
    }
    static I madd(I a, I b) { return i(wasm_i32x4_dot_i16x8(v(a), v(b))); }
    static constexpr bool kRoundingMultiply = false;

    // The mix's 16-bit lanes: 8 pixels, in two halves of this set's width.
    using Ops16 = WASMOps16;
    static void floats16(Ops16::V a, F out[2]) {
        out[0] = f(wasm_f32x4_convert_u32x4(wasm_u32x4_extend_low_u16x8(a)));
        out[1] = f(wasm_f32x4_convert_u32x4(wasm_u32x4_extend_high_u16x8(a)));
    }
    static Ops16::V ints16(I lo, I hi) { return wasm_i16x8_narrow_i32x4(v(lo), v(hi)); }
    static bool noneSet16(Ops16::V m) { return !wasm_v128_any_true(m); }

    static I avgFloorU8(I a, I b) {
        return i(wasm_i8x16_sub(wasm_u8x16_avgr(v(a), v(b)),
                                wasm_v128_and(wasm_v128_xor(v(a), v(b)), wasm_i8x16_splat(1))));
    }
};

}  // namespace

static_assert(kIsPixelLanes<WASMPixels>, "WASMPixels lacks an operation of the pixel lanes in cpu/lanes.h");
static_assert(kIsPixelFloorAverages<WASMPixels>, "WASMPixels lacks avgFloorU8");
using Rows = BeautyLaneRows<WASMPixels>;

void BeautyDownsizeRow_SIMD128(const uint8_t* src, const int32_t* x0, const int32_t* x1,
                               const uint32_t* weights, uint8_t* dst, int width) {
    Rows::downsize(src, x0, x1, weights, dst, width);
}
void BeautyHalveRow_SIMD128(const uint8_t* src, uint8_t* dst, int width) {
    Rows::halve(src, dst, width);
}
void BeautyDoubleRow_SIMD128(const uint8_t* src, uint8_t* dst, int width) {
    Rows::doubled(src, dst, width);
}
void BeautyBlurRgbColumnRow_SIMD128(const BeautyColumnTaps& taps, uint8_t* dst, int width) {
    Rows::blurRgbColumn(taps, dst, width);
}
void BeautySoften2Row_SIMD128(const uint8_t* blur, const uint8_t* in0, const uint8_t* in1,
                              uint32_t inWeight, uint8_t* dst, int width) {
    Rows::soften2(blur, in0, in1, inWeight, dst, width);
}
void BeautyBlurAlphaRow_SIMD128(const uint8_t* src, uint8_t* dst, int width) {
    Rows::blurAlpha(src, dst, width);
}
void BeautyBlurAlphaColumnRow_SIMD128(const uint8_t* const* rows, uint8_t* dst, int width) {
    Rows::blurAlphaColumn(rows, dst, width);
}
void BeautyMixRow_SIMD128(const BeautyMixUniforms& u, const uint8_t* above, const uint8_t* row,
                          const uint8_t* below, const uint8_t* blur0, const uint8_t* blur1,
                          uint32_t blurWeight, uint8_t* dst, int width) {
    Rows::mix(u, above, row, below, blur0, blur1, blurWeight, dst, width);
}
void BeautyGradeRow_SIMD128(const BeautyMixUniforms& u, float* rgb, int count) {
    Rows::gradeRow(u, rgb, count);
}

}  // namespace kelvo::video
