// WebAssembly SIMD128 16-bit lane operations (8 lanes) with the meaning of
// ScalarOps16 in vec16.h, operation for operation those of vec16_sse2.h.
// Include only from files of the SIMD128 build.
#pragma once

#include <wasm_simd128.h>

#include <cstring>

#include "cpu/vec16.h"

namespace kelvo {
namespace video {
namespace {

// One channel of the pixels in the 32-bit lanes of the (128 x, x) pairs of
// y, u and v: a multiply-add of each pair with its split weight.
KELVO_CPU_INLINE v128_t fixedChannelWasm(const v128_t* pairs, const int16_t (*k)[2]) {
    v128_t s = wasm_i32x4_splat(1 << (kFixedShift - 1));
    for (int j = 0; j < 3; ++j) {
        const v128_t w = wasm_i32x4_splat(pairedWeight(k[j]));
        s = wasm_i32x4_add(s, wasm_i32x4_dot_i16x8(pairs[j], w));
    }
    return wasm_i32x4_shr(s, kFixedShift);
}

struct WASMOps16 {
    static constexpr int N = 8;
    using V = v128_t;
    using B = v128_t;

    static V unpackLo16(V a, V b) { return wasm_i16x8_shuffle(a, b, 0, 8, 1, 9, 2, 10, 3, 11); }
    static V unpackHi16(V a, V b) { return wasm_i16x8_shuffle(a, b, 4, 12, 5, 13, 6, 14, 7, 15); }

    static V set(int16_t x) { return wasm_i16x8_splat(x); }
    static V load8(const uint8_t* p) { return wasm_u16x8_load8x8(p); }
    static V load16(const uint16_t* p) { return wasm_v128_load(p); }
    static void store16(uint16_t* p, V a) { wasm_v128_store(p, a); }
    static V add(V a, V b) { return wasm_i16x8_add(a, b); }
    static V sub(V a, V b) { return wasm_i16x8_sub(a, b); }
    static V mullo(V a, V b) { return wasm_i16x8_mul(a, b); }
    static V mulhiU(V a, V b) {
        const V lo = wasm_u32x4_extmul_low_u16x8(a, b), hi = wasm_u32x4_extmul_high_u16x8(a, b);
        return wasm_i16x8_shuffle(lo, hi, 1, 3, 5, 7, 9, 11, 13, 15);
    }
    static V max(V a, V b) { return wasm_i16x8_max(a, b); }
    static V min(V a, V b) { return wasm_i16x8_min(a, b); }
    static V adds(V a, V b) { return wasm_i16x8_add_sat(a, b); }
    static V subs(V a, V b) { return wasm_i16x8_sub_sat(a, b); }
    static V addsU(V a, V b) { return wasm_u16x8_add_sat(a, b); }
    static V subsU(V a, V b) { return wasm_u16x8_sub_sat(a, b); }
    static V absDiffU(V a, V b) {
        return wasm_v128_or(wasm_u16x8_sub_sat(a, b), wasm_u16x8_sub_sat(b, a));
    }
    static V cmpgt(V a, V b) { return wasm_i16x8_gt(a, b); }
    static V select(V m, V a, V b) { return wasm_v128_bitselect(a, b, m); }
    template <int S>
    static V srli(V a) {
        return wasm_u16x8_shr(a, S);
    }
    template <int S>
    static V srai(V a) {
        return wasm_i16x8_shr(a, S);
    }
    template <int S>
    static V slli(V a) {
        return wasm_i16x8_shl(a, S);
    }
    static V madd(V a, V b) { return wasm_i32x4_dot_i16x8(a, b); }
    static void widenU16(V a, V& lo, V& hi) {
        lo = wasm_u32x4_extend_low_u16x8(a);
        hi = wasm_u32x4_extend_high_u16x8(a);
    }
    static V narrowS32(V lo, V hi) { return wasm_i16x8_narrow_i32x4(lo, hi); }
    static void mulAdd32(V a, int16_t wa, V b, int16_t wb, V& lo, V& hi) {
        const V w = wasm_i32x4_splat(pairedWeight(wa, wb));
        lo = wasm_i32x4_dot_i16x8(unpackLo16(a, b), w);
        hi = wasm_i32x4_dot_i16x8(unpackHi16(a, b), w);
    }
    static V load8Doubled(const uint8_t* p) {
        const V x = wasm_u16x8_extend_low_u8x16(wasm_v128_load32_zero(p));
        return wasm_i16x8_shuffle(x, x, 0, 0, 1, 1, 2, 2, 3, 3);
    }
    static void storePixels4(uint8_t* p, V c0, V c1, V c2, V c3) {
        const V b02 = wasm_u8x16_narrow_i16x8(c0, c2), b13 = wasm_u8x16_narrow_i16x8(c1, c3);
        const V pairs01 = wasm_i8x16_shuffle(b02, b13, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6,
                                             22, 7, 23);
        const V pairs23 = wasm_i8x16_shuffle(b02, b13, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13,
                                             29, 14, 30, 15, 31);
        wasm_v128_store(p, unpackLo16(pairs01, pairs23));
        wasm_v128_store(p + 16, unpackHi16(pairs01, pairs23));
    }

    static V repeat4(const int16_t* w) {
        return wasm_i16x8_make(w[0], w[1], w[2], w[3], w[0], w[1], w[2], w[3]);
    }
    // Sums of adjacent 32-bit lanes, a's then b's.
    static V pairSums32(V a, V b) {
        return wasm_i32x4_add(wasm_i32x4_shuffle(a, b, 0, 2, 4, 6),
                              wasm_i32x4_shuffle(a, b, 1, 3, 5, 7));
    }
    // Bytes 0 and 2 of each pixel against weights 0 and 2, bytes 1 and 3
    // against 1 and 3: each pixel's sum lands in its own 32-bit lane.
    static V dot4U8(B a, V w) {
        const V even = wasm_i16x8_shuffle(w, w, 0, 2, 0, 2, 0, 2, 0, 2);
        const V odd = wasm_i16x8_shuffle(w, w, 1, 3, 1, 3, 1, 3, 1, 3);
        return wasm_i32x4_add(
            wasm_i32x4_dot_i16x8(wasm_v128_and(a, wasm_i16x8_splat(0x00FF)), even),
            wasm_i32x4_dot_i16x8(wasm_u16x8_shr(a, 8), odd));
    }
    static V sum2x2U8(B r0, B r1) {
        const V lo = wasm_i16x8_add(wasm_u16x8_extend_low_u8x16(r0), wasm_u16x8_extend_low_u8x16(r1));
        const V hi =
            wasm_i16x8_add(wasm_u16x8_extend_high_u8x16(r0), wasm_u16x8_extend_high_u8x16(r1));
        return wasm_i16x8_add(wasm_i64x2_shuffle(lo, hi, 0, 2), wasm_i64x2_shuffle(lo, hi, 1, 3));
    }
    static V dot4(V a, V b, V w) {
        return pairSums32(wasm_i32x4_dot_i16x8(a, w), wasm_i32x4_dot_i16x8(b, w));
    }
    static V set32(int32_t x) { return wasm_i32x4_splat(x); }
    template <int S>
    static V srai32(V a) {
        return wasm_i32x4_shr(a, S);
    }
    static B narrowU8x4(V a, V b, V c, V d) {
        return wasm_u8x16_narrow_i16x8(wasm_i16x8_narrow_i32x4(a, b), wasm_i16x8_narrow_i32x4(c, d));
    }
    static V add32(V a, V b) { return wasm_i32x4_add(a, b); }
    static int32_t hsum32(V a) {
        const uint32_t s = static_cast<uint32_t>(wasm_i32x4_extract_lane(a, 0)) +
                           static_cast<uint32_t>(wasm_i32x4_extract_lane(a, 1)) +
                           static_cast<uint32_t>(wasm_i32x4_extract_lane(a, 2)) +
                           static_cast<uint32_t>(wasm_i32x4_extract_lane(a, 3));
        return static_cast<int32_t>(s);
    }
    static int32_t hsum16(V a) { return hsum32(wasm_i32x4_dot_i16x8(a, wasm_i16x8_splat(1))); }

    static B set8(uint8_t x) { return wasm_i8x16_splat(static_cast<int8_t>(x)); }
    static B loadU8(const uint8_t* p) { return wasm_v128_load(p); }
    static void storeU8(uint8_t* p, B a) { wasm_v128_store(p, a); }
    static B loadU8Halves(const uint8_t* p0, const uint8_t* p1) {
        uint64_t lo, hi;
        std::memcpy(&lo, p0, 8);
        std::memcpy(&hi, p1, 8);
        return wasm_u64x2_make(lo, hi);
    }
    static void storeU8Halves(uint8_t* p0, uint8_t* p1, B a) {
        const uint64_t lo = wasm_u64x2_extract_lane(a, 0), hi = wasm_u64x2_extract_lane(a, 1);
        std::memcpy(p0, &lo, 8);
        std::memcpy(p1, &hi, 8);
    }
    static B addsU8(B a, B b) { return wasm_u8x16_add_sat(a, b); }
    static B subsU8(B a, B b) { return wasm_u8x16_sub_sat(a, b); }
    static B sub8(B a, B b) { return wasm_i8x16_sub(a, b); }
    static B absDiffU8(B a, B b) {
        return wasm_v128_or(wasm_u8x16_sub_sat(a, b), wasm_u8x16_sub_sat(b, a));
    }
    static B maxU8(B a, B b) { return wasm_u8x16_max(a, b); }
    static B avgFloorU8(B a, B b) {
        // avgr rounds up; take the odd sums' half back.
        return wasm_i8x16_sub(wasm_u8x16_avgr(a, b),
                              wasm_v128_and(wasm_v128_xor(a, b), wasm_i8x16_splat(1)));
    }
    static B eq8(B a, B b) { return wasm_i8x16_eq(a, b); }
    static B leU8(B a, B b) { return wasm_u8x16_le(a, b); }
    static B and8(B a, B b) { return wasm_v128_and(a, b); }
    static B select8(B m, B a, B b) { return wasm_v128_bitselect(a, b, m); }
    static void widenU8(B a, V& lo, V& hi) {
        lo = wasm_u16x8_extend_low_u8x16(a);
        hi = wasm_u16x8_extend_high_u8x16(a);
    }
    static void loadWidenU8(const uint8_t* p, V& lo, V& hi) { widenU8(loadU8(p), lo, hi); }
    static void widenS8(B a, V& lo, V& hi) {
        lo = wasm_i16x8_extend_low_i8x16(a);
        hi = wasm_i16x8_extend_high_i8x16(a);
    }
    static B narrowU8(V lo, V hi) { return wasm_u8x16_narrow_i16x8(lo, hi); }
    static V pairMaxU8(B a) {
        return wasm_v128_and(wasm_u8x16_max(a, wasm_u16x8_shr(a, 8)), wasm_i16x8_splat(0x00ff));
    }
    static void storeNarrowU8(uint8_t* p, V a) {
        const uint64_t lo = wasm_u64x2_extract_lane(wasm_u8x16_narrow_i16x8(a, a), 0);
        std::memcpy(p, &lo, 8);
    }
    static void storeInterleaved8(uint8_t* p, V e, V o) {
        wasm_v128_store(p, wasm_u8x16_narrow_i16x8(unpackLo16(e, o), unpackHi16(e, o)));
    }
    // Channels of pixels 0..3 from the low halves, 4..7 from the high ones.
    static void rgbaFromYUV(uint8_t* px, V y, V u, V v, const FixedMatrix& k) {
        const V x[3] = {y, u, v};
        V pairsLo[3], pairsHi[3];
        for (int j = 0; j < 3; ++j) {
            const V x128 = wasm_i16x8_shl(x[j], 7);
            pairsLo[j] = unpackLo16(x128, x[j]);
            pairsHi[j] = unpackHi16(x128, x[j]);
        }
        V c[3];
        for (int i = 0; i < 3; ++i) {
            c[i] = wasm_i16x8_narrow_i32x4(fixedChannelWasm(pairsLo, k[i]),
                                           fixedChannelWasm(pairsHi, k[i]));
        }
        // Bytes r, g and b, 255 per pixel, saturated to 0..255.
        const V rg = wasm_u8x16_narrow_i16x8(c[0], c[1]);
        const V ba = wasm_u8x16_narrow_i16x8(c[2], wasm_i16x8_splat(255));
        const V rgLo =
            wasm_i8x16_shuffle(rg, rg, 0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
        const V baLo =
            wasm_i8x16_shuffle(ba, ba, 0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
        wasm_v128_store(px, unpackLo16(rgLo, baLo));
        wasm_v128_store(px + 16, unpackHi16(rgLo, baLo));
    }

    // Channel operations (cpu/lanes.h Channels16).
    static void loadPixels4(const uint8_t* p, V& c0, V& c1, V& c2, V& c3) {
        const V lo = wasm_v128_load(p), hi = wasm_v128_load(p + 16);
        const V rg =
            wasm_i8x16_shuffle(lo, hi, 0, 4, 8, 12, 16, 20, 24, 28, 1, 5, 9, 13, 17, 21, 25, 29);
        const V ba =
            wasm_i8x16_shuffle(lo, hi, 2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19, 23, 27, 31);
        c0 = wasm_u16x8_extend_low_u8x16(rg), c1 = wasm_u16x8_extend_high_u8x16(rg);
        c2 = wasm_u16x8_extend_low_u8x16(ba), c3 = wasm_u16x8_extend_high_u8x16(ba);
    }
    static V mulhi(V a, V b) {
        const V lo = wasm_i32x4_extmul_low_i16x8(a, b), hi = wasm_i32x4_extmul_high_i16x8(a, b);
        return wasm_i16x8_shuffle(lo, hi, 1, 3, 5, 7, 9, 11, 13, 15);
    }
    static void loadPixels3(const uint8_t* p, V& c0, V& c1, V& c2) {
        const V a = wasm_v128_load(p), b = wasm_v128_load(p + 16);
        const V lo = wasm_i16x8_shuffle(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
        const V hi = wasm_i16x8_shuffle(a, b, 1, 3, 5, 7, 9, 11, 13, 15);
        const V byte = wasm_i16x8_splat(0x00FF);
        c0 = wasm_v128_and(lo, byte);
        c1 = wasm_u16x8_shr(lo, 8);
        c2 = wasm_v128_and(hi, byte);
    }
    static void lookup32(const uint32_t* table, V idx, V& lo, V& hi) {
        const V a = wasm_u32x4_make(
            table[wasm_u16x8_extract_lane(idx, 0)], table[wasm_u16x8_extract_lane(idx, 1)],
            table[wasm_u16x8_extract_lane(idx, 2)], table[wasm_u16x8_extract_lane(idx, 3)]);
        const V b = wasm_u32x4_make(
            table[wasm_u16x8_extract_lane(idx, 4)], table[wasm_u16x8_extract_lane(idx, 5)],
            table[wasm_u16x8_extract_lane(idx, 6)], table[wasm_u16x8_extract_lane(idx, 7)]);
        lo = wasm_i16x8_shuffle(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
        hi = wasm_i16x8_shuffle(a, b, 1, 3, 5, 7, 9, 11, 13, 15);
    }
    // The colour cube's corner pairs and their weights (cpu/vec16.h).
    static V cubePairs(const uint64_t* t, const uint32_t* i, const uint32_t* j) {
        const v128_t a = wasm_v128_load64_zero(t + i[0]);
        const v128_t b = wasm_v128_load64_zero(t + j[0]);
        return wasm_v128_xor(wasm_i16x8_shuffle(a, b, 0, 8, 1, 9, 2, 10, 3, 11),
                             wasm_i16x8_splat(-32768));
    }
    static V repeat32(const int32_t* w) { return wasm_i32x4_splat(w[0]); }

    static B avgU8(B a, B b) { return wasm_u8x16_avgr(a, b); }
    static V pixelPrefix(V a) {
        return wasm_i16x8_add(wasm_i16x8_add(wasm_i64x2_shl(a, 16), wasm_i64x2_shl(a, 32)),
                              wasm_i64x2_shl(a, 48));
    }
    static void widenSplitU8(B a, V& lo, V& hi) { widenU8(a, lo, hi); }
    static void widenPairU8(B a, B b, V& lo, V& hi) {
        lo = wasm_i16x8_add(wasm_u16x8_extend_low_u8x16(a), wasm_u16x8_extend_low_u8x16(b));
        hi = wasm_i16x8_add(wasm_u16x8_extend_high_u8x16(a), wasm_u16x8_extend_high_u8x16(b));
    }
    static B narrowSplitU8(V lo, V hi) { return narrowU8(lo, hi); }
    // The low 16 bits of the product as a signed lane, whatever the
    // product's size (for an exact difference that is known to fit).
    static V mulloWrap(V a, V b) { return wasm_i16x8_mul(a, b); }
};
static_assert(kIsLaneOps16<WASMOps16>, "WASMOps16 lacks an operation of cpu/lanes.h");
static_assert(kIsChannels16<WASMOps16>, "WASMOps16 lacks a channel operation");
static_assert(kIsPackedPixels16<WASMOps16>, "WASMOps16 lacks a packed-pixel operation");
static_assert(kIsPixelPlanes16<WASMOps16>, "WASMOps16 lacks a pixel-plane operation");
static_assert(kIsPixelSums16<WASMOps16>, "WASMOps16 lacks a pixel-sum operation");
static_assert(kIsCubePairs16<WASMOps16>, "WASMOps16 lacks a cube-pair operation");

}  // namespace
}  // namespace video
}  // namespace kelvo
