// NEON lane operations (4 lanes) with the meaning of ScalarOps in vec.h.
// NEON is part of the AArch64 baseline: include from any AArch64 row file.
// Where an instruction's edge cases differ from the portable row's (min and
// max on NaN and signed zeros), the operation is composed so that the bits
// match what the portable row compiles to on AArch64.
#pragma once

#include <arm_neon.h>

#include "cpu/vec.h"

namespace kelvo {
namespace video {
namespace {

struct NEONOps {
    static constexpr int N = 4;
    using F = float32x4_t;
    using I = int32x4_t;
    using M = uint32x4_t;

    static F set(float x) { return vdupq_n_f32(x); }
    static I seti(int32_t x) { return vdupq_n_s32(x); }
    static F loadf(const float* p) { return vld1q_f32(p); }
    static void storef(float* p, F v) { vst1q_f32(p, v); }
    static I loadi(const void* p) { return vld1q_s32(static_cast<const int32_t*>(p)); }
    static void storei(void* p, I v) { vst1q_s32(static_cast<int32_t*>(p), v); }
    // a < b ? a : b, not fmin (which differs on NaN and on -0 against +0).
    static F min(F a, F b) { return vbslq_f32(vcltq_f32(a, b), a, b); }
    static F max(F a, F b) { return vbslq_f32(vcgtq_f32(a, b), a, b); }
    static F sqrt(F a) { return vsqrtq_f32(a); }
    static M lt(F a, F b) { return vcltq_f32(a, b); }
    static M le(F a, F b) { return vcleq_f32(a, b); }
    static M gt(F a, F b) { return vcgtq_f32(a, b); }
    static M ne(F a, F b) { return vmvnq_u32(vceqq_f32(a, b)); }
    static M gti(I a, I b) { return vcgtq_s32(a, b); }
    static F select(M m, F a, F b) { return vbslq_f32(m, a, b); }
    static I selecti(M m, I a, I b) { return vbslq_s32(m, a, b); }
    // Truncation toward zero; out of range it saturates, as the scalar cast
    // does on AArch64 (fcvtzs).
    static I cvtt(F a) { return vcvtq_s32_f32(a); }
    static F cvtf(I a) { return vcvtq_f32_s32(a); }
    static I bits(F a) { return vreinterpretq_s32_f32(a); }
    static F fromBits(I i) { return vreinterpretq_f32_s32(i); }
    static I addi(I a, I b) { return vaddq_s32(a, b); }
    static I subi(I a, I b) { return vsubq_s32(a, b); }
    static I andi(I a, int32_t m) { return vandq_s32(a, vdupq_n_s32(m)); }
    static I ori(I a, int32_t m) { return vorrq_s32(a, vdupq_n_s32(m)); }
    template <int S>
    static I srai(I a) {
        return vshrq_n_s32(a, S);
    }
    template <int S>
    static I slli(I a) {
        return vshlq_n_s32(a, S);
    }
    template <int S>
    static I srli(I a) {
        return vreinterpretq_s32_u32(vshrq_n_u32(vreinterpretq_u32_s32(a), S));
    }
    // Table reads one lane at a time: the indices come out of the vector two
    // at a time (one move and a shift in the integer unit rather than a move
    // per lane), each signed as the portable row's t[i].
    static void offsets(I i, int64_t at[4]) {
        const int64x2_t pairs = vreinterpretq_s64_s32(i);
        const int64_t lo = vgetq_lane_s64(pairs, 0), hi = vgetq_lane_s64(pairs, 1);
        at[0] = static_cast<int32_t>(lo), at[1] = lo >> 32;
        at[2] = static_cast<int32_t>(hi), at[3] = hi >> 32;
    }
    static F gather(const float* t, I i) {
        int64_t at[4];
        offsets(i, at);
        F r = vld1q_dup_f32(t + at[0]);
        r = vld1q_lane_f32(t + at[1], r, 1);
        r = vld1q_lane_f32(t + at[2], r, 2);
        return vld1q_lane_f32(t + at[3], r, 3);
    }
    static I gatheri(const int32_t* t, I i) {
        int64_t at[4];
        offsets(i, at);
        I r = vld1q_dup_s32(t + at[0]);
        r = vld1q_lane_s32(t + at[1], r, 1);
        r = vld1q_lane_s32(t + at[2], r, 2);
        return vld1q_lane_s32(t + at[3], r, 3);
    }
    // The low 16 bits of a under the exponent of 2^23: one shift-and-insert.
    static F u16Biased(I a) {
        return vreinterpretq_f32_u32(
            vsliq_n_u32(vreinterpretq_u32_s32(a), vdupq_n_u32(0x4b00), 16));
    }
    static bool anyi(I a) { return vmaxvq_u32(vreinterpretq_u32_s32(a)) != 0; }
    static void gather64At(const uint64_t* t, const int64_t at[4], I& lo, I& hi) {
        const uint64x2_t ab = vcombine_u64(vld1_u64(t + at[0]), vld1_u64(t + at[1]));
        const uint64x2_t cd = vcombine_u64(vld1_u64(t + at[2]), vld1_u64(t + at[3]));
        // Little-endian: the even 32-bit lanes are the low halves.
        lo =
            vreinterpretq_s32_u32(vuzp1q_u32(vreinterpretq_u32_u64(ab), vreinterpretq_u32_u64(cd)));
        hi =
            vreinterpretq_s32_u32(vuzp2q_u32(vreinterpretq_u32_u64(ab), vreinterpretq_u32_u64(cd)));
    }
    static void gather64(const uint64_t* t, I i, I& lo, I& hi) {
        int64_t at[4];
        offsets(i, at);
        gather64At(t, at, lo, hi);
    }
    static void gather64Two(const uint64_t* t, const uint64_t* u, I i, I& tlo, I& thi, I& ulo,
                            I& uhi) {
        int64_t at[4];
        offsets(i, at);
        gather64At(t, at, tlo, thi);
        gather64At(u, at, ulo, uhi);
    }

    static void loadRGB(const uint8_t* px, F& r, F& g, F& b) {
        const uint32x4_t p = vld1q_u32(reinterpret_cast<const uint32_t*>(px));
        const uint32x4_t m = vdupq_n_u32(0xff);
        r = vcvtq_f32_u32(vandq_u32(p, m));
        g = vcvtq_f32_u32(vandq_u32(vshrq_n_u32(p, 8), m));
        b = vcvtq_f32_u32(vandq_u32(vshrq_n_u32(p, 16), m));
    }
    // Each channel's low byte, as the portable row's byte casts keep: shift
    // and insert leaves the bits below the inserted field alone.
    static void storeRGBA(uint8_t* px, I r, I g, I b) {
        uint32x4_t p = vsliq_n_u32(vreinterpretq_u32_s32(r), vreinterpretq_u32_s32(g), 8);
        p = vsliq_n_u32(p, vreinterpretq_u32_s32(b), 16);
        p = vsliq_n_u32(p, vdupq_n_u32(0xff), 24);
        vst1q_u32(reinterpret_cast<uint32_t*>(px), p);
    }
    static void storeRGBAClamped(uint8_t* px, I r, I g, I b) {
        const I lo = vdupq_n_s32(0), hi = vdupq_n_s32(255);
        storeRGBA(px, vmaxq_s32(vminq_s32(r, hi), lo), vmaxq_s32(vminq_s32(g, hi), lo),
                  vmaxq_s32(vminq_s32(b, hi), lo));
    }
};
static_assert(kIsLaneOps<NEONOps>, "NEONOps lacks an operation of cpu/lanes.h");

}  // namespace
}  // namespace video
}  // namespace kelvo
