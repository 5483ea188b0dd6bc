// NEON 16-bit lane operations (8 lanes) with the meaning of ScalarOps16 in
// vec16.h, lanes in memory order as in SSE2Ops16. NEON is part of the
// AArch64 baseline: include from any AArch64 row file.
#pragma once

#include <arm_neon.h>

#include <cstring>

#include "cpu/vec16.h"

namespace kelvo {
namespace video {
namespace {

struct NEONOps16 {
    static constexpr int N = 8;
    using V = int16x8_t;
    using B = uint8x16_t;

    static V set(int16_t x) { return vdupq_n_s16(x); }
    static V load8(const uint8_t* p) { return vreinterpretq_s16_u16(vmovl_u8(vld1_u8(p))); }
    static V load16(const uint16_t* p) { return vreinterpretq_s16_u16(vld1q_u16(p)); }
    static void store16(uint16_t* p, V a) { vst1q_u16(p, vreinterpretq_u16_s16(a)); }
    static V add(V a, V b) { return vaddq_s16(a, b); }
    static V sub(V a, V b) { return vsubq_s16(a, b); }
    static V mullo(V a, V b) { return vmulq_s16(a, b); }
    static V mulhiU(V a, V b) {
        const uint16x8_t ua = u(a), ub = u(b);
        const uint32x4_t lo = vmull_u16(vget_low_u16(ua), vget_low_u16(ub));
        const uint32x4_t hi = vmull_high_u16(ua, ub);
        return vreinterpretq_s16_u16(
            vuzp2q_u16(vreinterpretq_u16_u32(lo), vreinterpretq_u16_u32(hi)));
    }
    static V max(V a, V b) { return vmaxq_s16(a, b); }
    static V min(V a, V b) { return vminq_s16(a, b); }
    static V adds(V a, V b) { return vqaddq_s16(a, b); }
    static V subs(V a, V b) { return vqsubq_s16(a, b); }
    static V addsU(V a, V b) { return s(vqaddq_u16(u(a), u(b))); }
    static V subsU(V a, V b) { return s(vqsubq_u16(u(a), u(b))); }
    static V absDiffU(V a, V b) { return s(vabdq_u16(u(a), u(b))); }
    static V cmpgt(V a, V b) { return s(vcgtq_s16(a, b)); }
    static V select(V m, V a, V b) { return vbslq_s16(u(m), a, b); }
    template <int S>
    static V srli(V a) {
        return s(vshrq_n_u16(u(a), S));
    }
    template <int S>
    static V srai(V a) {
        return vshrq_n_s16(a, S);
    }
    template <int S>
    static V slli(V a) {
        return vshlq_n_s16(a, S);
    }
    // Lanes 2k and 2k + 1 multiplied and summed, wrapping as pmaddwd does.
    static V madd(V a, V b) {
        const int32x4_t lo = vmull_s16(vget_low_s16(a), vget_low_s16(b));
        return s32(vpaddq_s32(lo, vmull_high_s16(a, b)));
    }
    static void widenU16(V a, V& lo, V& hi) {
        lo = vreinterpretq_s16_u32(vmovl_u16(vget_low_u16(u(a))));
        hi = vreinterpretq_s16_u32(vmovl_high_u16(u(a)));
    }
    static V narrowS32(V lo, V hi) {
        return vcombine_s16(vqmovn_s32(i32(lo)), vqmovn_s32(i32(hi)));
    }
    static void mulAdd32(V a, int16_t wa, V b, int16_t wb, V& lo, V& hi) {
        lo = s32(vmlal_n_s16(vmull_n_s16(vget_low_s16(a), wa), vget_low_s16(b), wb));
        hi = s32(vmlal_high_n_s16(vmull_high_n_s16(a, wa), b, wb));
    }
    static V load8Doubled(const uint8_t* p) {
        uint32_t four;
        std::memcpy(&four, p, 4);
        const uint8x8_t x = vreinterpret_u8_u32(vdup_n_u32(four));
        return s(vmovl_u8(vzip1_u8(x, x)));
    }
    static void storePixels4(uint8_t* p, V c0, V c1, V c2, V c3) {
        storeQuads(p, vqmovun_high_s16(vqmovun_s16(c0), c2), vqmovun_high_s16(vqmovun_s16(c1), c3));
    }

    static V repeat4(const int16_t* w) {
        const int16x4_t x = vld1_s16(w);
        return vcombine_s16(x, x);
    }
    // Each pixel's four products summed pairwise (widening multiplies and
    // vpadd instead of pmaddwd and shuffles).
    static V dot4U8(B a, V w) {
        const int16x8_t lo = s(vmovl_u8(vget_low_u8(a))), hi = s(vmovl_high_u8(a));
        const int16x4_t w4 = vget_low_s16(w);
        const int32x4_t p01 = vpaddq_s32(vmull_s16(vget_low_s16(lo), w4), vmull_high_s16(lo, w));
        const int32x4_t p23 = vpaddq_s32(vmull_s16(vget_low_s16(hi), w4), vmull_high_s16(hi, w));
        return s32(vpaddq_s32(p01, p23));
    }
    static V sum2x2U8(B r0, B r1) {
        const uint64x2_t lo = vreinterpretq_u64_u16(vaddl_u8(vget_low_u8(r0), vget_low_u8(r1)));
        const uint64x2_t hi = vreinterpretq_u64_u16(vaddl_high_u8(r0, r1));
        return vaddq_s16(vreinterpretq_s16_u64(vuzp1q_u64(lo, hi)),
                         vreinterpretq_s16_u64(vuzp2q_u64(lo, hi)));
    }
    static V dot4(V a, V b, V w) {
        const int16x4_t w4 = vget_low_s16(w);
        const int32x4_t pa = vpaddq_s32(vmull_s16(vget_low_s16(a), w4), vmull_high_s16(a, w));
        const int32x4_t pb = vpaddq_s32(vmull_s16(vget_low_s16(b), w4), vmull_high_s16(b, w));
        return s32(vpaddq_s32(pa, pb));
    }
    static V set32(int32_t x) { return s32(vdupq_n_s32(x)); }
    template <int S>
    static V srai32(V a) {
        return s32(vshrq_n_s32(i32(a), S));
    }
    static B narrowU8x4(V a, V b, V c, V d) {
        const int16x8_t ab = vcombine_s16(vqmovn_s32(i32(a)), vqmovn_s32(i32(b)));
        const int16x8_t cd = vcombine_s16(vqmovn_s32(i32(c)), vqmovn_s32(i32(d)));
        return vcombine_u8(vqmovun_s16(ab), vqmovun_s16(cd));
    }
    static V add32(V a, V b) { return s32(vaddq_s32(i32(a), i32(b))); }
    static int32_t hsum32(V a) { return vaddvq_s32(i32(a)); }
    static int32_t hsum16(V a) { return vaddlvq_s16(a); }

    static B set8(uint8_t x) { return vdupq_n_u8(x); }
    static B loadU8(const uint8_t* p) { return vld1q_u8(p); }
    static void storeU8(uint8_t* p, B a) { vst1q_u8(p, a); }
    static B loadU8Halves(const uint8_t* p0, const uint8_t* p1) {
        return vcombine_u8(vld1_u8(p0), vld1_u8(p1));
    }
    static void storeU8Halves(uint8_t* p0, uint8_t* p1, B a) {
        vst1_u8(p0, vget_low_u8(a));
        vst1_u8(p1, vget_high_u8(a));
    }
    static B addsU8(B a, B b) { return vqaddq_u8(a, b); }
    static B subsU8(B a, B b) { return vqsubq_u8(a, b); }
    static B sub8(B a, B b) { return vsubq_u8(a, b); }
    static B absDiffU8(B a, B b) { return vabdq_u8(a, b); }
    static B maxU8(B a, B b) { return vmaxq_u8(a, b); }
    static B avgFloorU8(B a, B b) { return vhaddq_u8(a, b); }
    static B eq8(B a, B b) { return vceqq_u8(a, b); }
    static B leU8(B a, B b) { return vcleq_u8(a, b); }
    static B and8(B a, B b) { return vandq_u8(a, b); }
    static B select8(B m, B a, B b) { return vbslq_u8(m, a, b); }
    static void widenU8(B a, V& lo, V& hi) {
        lo = s(vmovl_u8(vget_low_u8(a)));
        hi = s(vmovl_high_u8(a));
    }
    static void loadWidenU8(const uint8_t* p, V& lo, V& hi) { widenU8(loadU8(p), lo, hi); }
    static void widenS8(B a, V& lo, V& hi) {
        const int8x16_t x = vreinterpretq_s8_u8(a);
        lo = vmovl_s8(vget_low_s8(x));
        hi = vmovl_high_s8(x);
    }
    static B narrowU8(V lo, V hi) { return vcombine_u8(vqmovun_s16(lo), vqmovun_s16(hi)); }
    static V pairMaxU8(B a) { return s(vmovl_u8(vget_low_u8(vpmaxq_u8(a, a)))); }
    static void storeNarrowU8(uint8_t* p, V a) { vst1_u8(p, vqmovun_s16(a)); }
    static void storeInterleaved8(uint8_t* p, V e, V o) {
        const uint8x16_t even = vcombine_u8(vqmovun_s16(e), vdup_n_u8(0));
        const uint8x16_t odd = vcombine_u8(vqmovun_s16(o), vdup_n_u8(0));
        vst1q_u8(p, vzip1q_u8(even, odd));
    }
    // The whole weights in 32-bit lanes: fewer multiplies than the split
    // pairs, and the same sums. The rounding shift adds the half before
    // shifting, as the portable row does, without needing it in a register
    // each multiply-add would first copy.
    static void rgbaFromYUV(uint8_t* px, V y, V u, V v, const FixedMatrix& k) {
        const int16x8_t x[3] = {y, u, v};
        int32x4_t lo[3], hi[3];
        for (int j = 0; j < 3; ++j) {
            lo[j] = vmovl_s16(vget_low_s16(x[j]));
            hi[j] = vmovl_high_s16(x[j]);
        }
        uint8x8_t c[3];
        for (int i = 0; i < 3; ++i) {
            auto weight = [&](int j) { return 128 * k[i][j][0] + k[i][j][1]; };
            int32x4_t sl = vmulq_n_s32(lo[0], weight(0)), sh = vmulq_n_s32(hi[0], weight(0));
            for (int j = 1; j < 3; ++j) {
                sl = vmlaq_n_s32(sl, lo[j], weight(j));
                sh = vmlaq_n_s32(sh, hi[j], weight(j));
            }
            // Saturated to 0..65535, then to 0..255: the clamp.
            c[i] = vqmovn_u16(vqmovun_high_s32(vqmovun_s32(vrshrq_n_s32(sl, kFixedShift)),
                                               vrshrq_n_s32(sh, kFixedShift)));
        }
        storeQuads(px, vcombine_u8(c[0], c[2]), vcombine_u8(c[1], vdup_n_u8(255)));
    }

    static void loadPixels4(const uint8_t* p, V& c0, V& c1, V& c2, V& c3) {
        const uint8x8x4_t x = vld4_u8(p);
        c0 = s(vmovl_u8(x.val[0])), c1 = s(vmovl_u8(x.val[1]));
        c2 = s(vmovl_u8(x.val[2])), c3 = s(vmovl_u8(x.val[3]));
    }

private:
    // Pixels from their channels' bytes, r and b in rb's halves, g and a in
    // ga's: byte and pair interleaves and one store, where the four-register
    // store needs its sources in consecutive registers, which GCC gets by
    // moves or a trip through the stack.
    static void storeQuads(uint8_t* p, uint8x16_t rb, uint8x16_t ga) {
        const uint16x8_t lo = vreinterpretq_u16_u8(vzip1q_u8(rb, ga));
        const uint16x8_t hi = vreinterpretq_u16_u8(vzip2q_u8(rb, ga));
        vst1q_u8(p, vreinterpretq_u8_u16(vzip1q_u16(lo, hi)));
        vst1q_u8(p + 16, vreinterpretq_u8_u16(vzip2q_u16(lo, hi)));
    }
    static uint16x8_t u(V a) { return vreinterpretq_u16_s16(a); }
    static V s(uint16x8_t a) { return vreinterpretq_s16_u16(a); }
    static int32x4_t i32(V a) { return vreinterpretq_s32_s16(a); }
    static V s32(int32x4_t a) { return vreinterpretq_s16_s32(a); }

public:
    // Channel operations (cpu/lanes.h Channels16).
    static V mulhi(V a, V b) {
        const int32x4_t lo = vmull_s16(vget_low_s16(a), vget_low_s16(b));
        const int32x4_t hi = vmull_high_s16(a, b);
        return vuzp2q_s16(vreinterpretq_s16_s32(lo), vreinterpretq_s16_s32(hi));
    }
    static void loadPixels3(const uint8_t* p, V& c0, V& c1, V& c2) {
        const uint8x8x4_t px = vld4_u8(p);
        c0 = s(vmovl_u8(px.val[0]));
        c1 = s(vmovl_u8(px.val[1]));
        c2 = s(vmovl_u8(px.val[2]));
    }
    // The indices out four at a time, the entries paired in integer
    // registers: vectors built through the stack would be loads of two
    // stores each, which a core may not forward.
    static void lookup32(const uint32_t* table, V idx, V& lo, V& hi) {
        const uint64x2_t at = vreinterpretq_u64_s16(idx);
        auto two = [&](uint64_t i, int k) {
            return uint64_t{table[i >> (16 * k) & 0xffff]} |
                   uint64_t{table[i >> (16 * k + 16) & 0xffff]} << 32;
        };
        const uint64_t i0 = vgetq_lane_u64(at, 0), i1 = vgetq_lane_u64(at, 1);
        const uint16x8_t v0 =
            vreinterpretq_u16_u64(vcombine_u64(vcreate_u64(two(i0, 0)), vcreate_u64(two(i0, 2))));
        const uint16x8_t v1 =
            vreinterpretq_u16_u64(vcombine_u64(vcreate_u64(two(i1, 0)), vcreate_u64(two(i1, 2))));
        lo = s(vuzp1q_u16(v0, v1));
        hi = s(vuzp2q_u16(v0, v1));
    }
    // The colour cube's corner pairs and their weights (cpu/vec16.h).
    // Both entries in one register, their 16-bit lanes then interleaved by
    // one table lookup.
    static V cubePairs(const uint64_t* t, const uint32_t* i, const uint32_t* j) {
        const uint8x16_t order = {0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15};
        const uint64x2_t both = vcombine_u64(vld1_u64(t + i[0]), vld1_u64(t + j[0]));
        return vreinterpretq_s16_u8(veorq_u8(vqtbl1q_u8(vreinterpretq_u8_u64(both), order),
                                             vreinterpretq_u8_u16(vdupq_n_u16(0x8000))));
    }
    static V repeat32(const int32_t* w) { return s32(vld1q_dup_s32(w)); }

    static B avgU8(B a, B b) { return vrhaddq_u8(a, b); }
    static V pixelPrefix(V a) {
        const uint64x2_t x = vreinterpretq_u64_s16(a);
        return vaddq_s16(vaddq_s16(vreinterpretq_s16_u64(vshlq_n_u64(x, 16)),
                                   vreinterpretq_s16_u64(vshlq_n_u64(x, 32))),
                         vreinterpretq_s16_u64(vshlq_n_u64(x, 48)));
    }
    static void widenSplitU8(B a, V& lo, V& hi) { widenU8(a, lo, hi); }
    static void widenPairU8(B a, B b, V& lo, V& hi) {
        lo = vreinterpretq_s16_u16(vaddl_u8(vget_low_u8(a), vget_low_u8(b)));
        hi = vreinterpretq_s16_u16(vaddl_high_u8(a, b));
    }
    static B narrowSplitU8(V lo, V hi) { return narrowU8(lo, hi); }
    // The low 16 bits of the product as a signed lane, whatever the
    // product's size (for an exact difference that is known to fit).
    static V mulloWrap(V a, V b) { return vmulq_s16(a, b); }
};
static_assert(kIsLaneOps16<NEONOps16>, "NEONOps16 lacks an operation of cpu/lanes.h");
static_assert(kIsChannels16<NEONOps16>, "NEONOps16 lacks a channel operation");
static_assert(kIsPackedPixels16<NEONOps16>, "NEONOps16 lacks a packed-pixel operation");
static_assert(kIsPixelPlanes16<NEONOps16>, "NEONOps16 lacks a pixel-plane operation");
static_assert(kIsPixelSums16<NEONOps16>, "NEONOps16 lacks a pixel-sum operation");
static_assert(kIsCubePairs16<NEONOps16>, "NEONOps16 lacks a cube-pair operation");

}  // namespace
}  // namespace video
}  // namespace kelvo
