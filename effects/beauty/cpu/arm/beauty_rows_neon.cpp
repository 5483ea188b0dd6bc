#include <arm_neon.h>

#include <cstddef>

#include "effects/beauty/cpu/arm/beauty_rows_arm.h"
#include "effects/beauty/cpu/beauty_rows_kernel.h"
#include "cpu/vec_neon.h"
#include "cpu/vec16_neon.h"

namespace kelvo::video {
namespace {

struct NEONPixels {
    using I = int32x4_t;
    using F = float32x4_t;
    static constexpr int kLanes = 4;
    using Ops = NEONOps;
    struct Weights {
        uint16x8_t w0, w1;
    };

    static I load(const void* p) { return vld1q_s32(static_cast<const int32_t*>(p)); }
    static void store(void* p, I v) { vst1q_s32(static_cast<int32_t*>(p), v); }
    static bool allZero(I a) { return vmaxvq_u32(vreinterpretq_u32_s32(a)) == 0; }
    static I gather(const uint8_t* base, I index) {
        auto at = [&](int32_t i) {
            return reinterpret_cast<const int32_t*>(base + static_cast<ptrdiff_t>(i) * 4);
        };
        I r = vld1q_dup_s32(at(vgetq_lane_s32(index, 0)));
        r = vld1q_lane_s32(at(vgetq_lane_s32(index, 1)), r, 1);
        r = vld1q_lane_s32(at(vgetq_lane_s32(index, 2)), r, 2);
        return vld1q_lane_s32(at(vgetq_lane_s32(index, 3)), r, 3);
    }
    // One two-register table lookup picks any of the 8 pixels per lane.
    static constexpr bool kWindowPicks = true;
    static I pick(I lo, I hi, I offsets) {
        // Byte 4 o + c of the window for byte c of each lane (o <= 7, so no
        // byte carries into the next).
        const uint32x4_t bytes =
            vmlaq_n_u32(vdupq_n_u32(0x03020100u), vreinterpretq_u32_s32(offsets), 0x04040404u);
        const uint8x16x2_t window = {{vreinterpretq_u8_s32(lo), vreinterpretq_u8_s32(hi)}};
        return vreinterpretq_s32_u8(vqtbl2q_u8(window, vreinterpretq_u8_u32(bytes)));
    }
    // The 16-byte cells at the byte offsets, cell k in r[k].
    static void loadCells(const uint8_t* base, I offsets, I r[4]) {
        const uint32x4_t at = vreinterpretq_u32_s32(offsets);
        r[0] = vld1q_s32(reinterpret_cast<const int32_t*>(base + vgetq_lane_u32(at, 0)));
        r[1] = vld1q_s32(reinterpret_cast<const int32_t*>(base + vgetq_lane_u32(at, 1)));
        r[2] = vld1q_s32(reinterpret_cast<const int32_t*>(base + vgetq_lane_u32(at, 2)));
        r[3] = vld1q_s32(reinterpret_cast<const int32_t*>(base + vgetq_lane_u32(at, 3)));
    }
    static I unpackLo32(I a, I b) { return vzip1q_s32(a, b); }
    static I unpackHi32(I a, I b) { return vzip2q_s32(a, b); }
    static I unpackLo64(I a, I b) {
        return vreinterpretq_s32_s64(
            vzip1q_s64(vreinterpretq_s64_s32(a), vreinterpretq_s64_s32(b)));
    }
    static I unpackHi64(I a, I b) {
        return vreinterpretq_s32_s64(
            vzip2q_s64(vreinterpretq_s64_s32(a), vreinterpretq_s64_s32(b)));
    }
    template <int K>
    static I bytePair(I a) {
        constexpr uint8_t l = 2 * K, h = 2 * K + 1, z = 0xff;
        const uint8x16_t m = {l,     z, h,     z, l + 4,  z, h + 4,  z,
                              l + 8, z, h + 8, z, l + 12, z, h + 12, z};
        return vreinterpretq_s32_u8(vqtbl1q_u8(vreinterpretq_u8_s32(a), m));
    }
    template <int K>
    static I byteLane(I a) {
        if constexpr (K == 3) {
            return vreinterpretq_s32_u32(vshrq_n_u32(vreinterpretq_u32_s32(a), 24));
        } else if constexpr (K == 0) {
            return vandq_s32(a, vdupq_n_s32(255));
        } else {
            return vandq_s32(vreinterpretq_s32_u32(vshrq_n_u32(vreinterpretq_u32_s32(a), 8 * K)),
                             vdupq_n_s32(255));
        }
    }
    static I set1(int v) { return vdupq_n_s32(v); }
    static F set1f(float v) { return vdupq_n_f32(v); }
    static I andi(I a, I b) { return vandq_s32(a, b); }
    static I ori(I a, I b) { return vorrq_s32(a, b); }
    static I add(I a, I b) { return vaddq_s32(a, b); }
    static I sub(I a, I b) { return vsubq_s32(a, b); }
    static I maxi(I a, I b) { return vmaxq_s32(a, b); }
    static I mini(I a, I b) { return vminq_s32(a, b); }
    template <int N>
    static I srli(I a) {
        return vreinterpretq_s32_u32(vshrq_n_u32(vreinterpretq_u32_s32(a), N));
    }
    template <int N>
    static I slli(I a) {
        return vshlq_n_s32(a, N);
    }
    template <int N>
    static I srai(I a) {
        return vshrq_n_s32(a, N);
    }
    static F add(F a, F b) { return vaddq_f32(a, b); }
    static F sub(F a, F b) { return vsubq_f32(a, b); }
    static F mul(F a, F b) { return vmulq_f32(a, b); }
    static F div(F a, F b) { return vdivq_f32(a, b); }
    // Compare and pick, as x86's minps and maxps (not fmin, fmax).
    static F min(F a, F b) { return Ops::min(a, b); }
    static F max(F a, F b) { return Ops::max(a, b); }
    static F cmpgt(F a, F b) { return mask(vcgtq_f32(a, b)); }
    static F cmplt(F a, F b) { return mask(vcltq_f32(a, b)); }
    static F cmpge(F a, F b) { return mask(vcgeq_f32(a, b)); }
    static F cmple(F a, F b) { return mask(vcleq_f32(a, b)); }
    static F fand(F a, F b) { return mask(vandq_u32(u(a), u(b))); }
    static F select(F m, F a, F b) { return vbslq_f32(u(m), a, b); }
    // ~a & b.
    static F fandnot(F a, F b) { return mask(vbicq_u32(u(b), u(a))); }
    static bool noneSet(F m) { return vmaxvq_u32(u(m)) == 0; }
    static F toFloat(I a) { return vcvtq_f32_s32(a); }
    static I toIntRound(F a) { return vcvtnq_s32_f32(a); }
    static I toIntTrunc(F a) { return vcvtq_s32_f32(a); }
    static I avgU8(I a, I b) {
        return vreinterpretq_s32_u8(vrhaddq_u8(vreinterpretq_u8_s32(a), vreinterpretq_u8_s32(b)));
    }
    // Pixels 2k and 2k + 1 of lo, hi, in order.
    static void deinterleave(I lo, I hi, I* even, I* odd) {
        *even = vuzp1q_s32(lo, hi);
        *odd = vuzp2q_s32(lo, hi);
    }
    // even[k], odd[k] as pixels 2k and 2k + 1 of out[0], out[1].
    static void interleave(I even, I odd, I out[2]) {
        out[0] = vzip1q_s32(even, odd), out[1] = vzip2q_s32(even, odd);
    }
    // Bytes as 16-bit lanes, in the halves narrow puts back together.
    static void widen(I a, I out[2]) {
        const uint8x16_t b = vreinterpretq_u8_s32(a);
        out[0] = vreinterpretq_s32_u16(vmovl_u8(vget_low_u8(b)));
        out[1] = vreinterpretq_s32_u16(vmovl_high_u8(b));
    }
    static I narrow(I lo, I hi) {
        return vreinterpretq_s32_u8(vcombine_u8(vqmovun_s16(vreinterpretq_s16_s32(lo)),
                                                vqmovun_s16(vreinterpretq_s16_s32(hi))));
    }
    static I add16(I a, I b) {
        return vreinterpretq_s32_u16(vaddq_u16(vreinterpretq_u16_s32(a), vreinterpretq_u16_s32(b)));
    }
    template <int N>
    static I srli16(I a) {
        return vreinterpretq_s32_u16(vshrq_n_u16(vreinterpretq_u16_s32(a), N));
    }

    static Weights uniformWeights(uint32_t w) {
        return {vdupq_n_u16(static_cast<uint16_t>(w & 0xffff)),
                vdupq_n_u16(static_cast<uint16_t>(w >> 16))};
    }
    // (a w0 + b w1 + 128) >> 8 in wrapping 16-bit lanes, whose high byte
    // the narrowing shift keeps.
    static uint8x8_t blendHalf(uint16x8_t a, uint16x8_t b, uint16x8_t w0, uint16x8_t w1) {
        const uint16x8_t sum = vaddq_u16(vmlaq_u16(vmulq_u16(a, w0), b, w1), vdupq_n_u16(128));
        return vshrn_n_u16(sum, 8);
    }
    static I blendHalves(I a, I b, Weights lo, Weights hi) {
        const uint8x16_t x = vreinterpretq_u8_s32(a), y = vreinterpretq_u8_s32(b);
        const uint8x8_t l =
            blendHalf(vmovl_u8(vget_low_u8(x)), vmovl_u8(vget_low_u8(y)), lo.w0, lo.w1);
        const uint8x8_t h = blendHalf(vmovl_high_u8(x), vmovl_high_u8(y), hi.w0, hi.w1);
        return vreinterpretq_s32_u8(vcombine_u8(l, h));
    }
    static I blend(I a, I b, Weights w) { return blendHalves(a, b, w, w); }
    static I blendPerPixel(I a, I b, I w) {
        // Each pixel's w0 (bytes 0, 1) and w1 (bytes 2, 3) over its four
        // 16-bit channel lanes.
        const uint8x16_t bytes = vreinterpretq_u8_s32(w);
        const uint8x16_t w0lo = {0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5};
        const uint8x16_t w1lo = {2, 3, 2, 3, 2, 3, 2, 3, 6, 7, 6, 7, 6, 7, 6, 7};
        const uint8x16_t eight = vdupq_n_u8(8);
        auto spread = [&](uint8x16_t m) { return vreinterpretq_u16_u8(vqtbl1q_u8(bytes, m)); };
        const Weights lo = {spread(w0lo), spread(w1lo)};
        const Weights hi = {spread(vaddq_u8(w0lo, eight)), spread(vaddq_u8(w1lo, eight))};
        return blendHalves(a, b, lo, hi);
    }
    static I madd(I a, I b) {
        const int16x8_t x = vreinterpretq_s16_s32(a), y = vreinterpretq_s16_s32(b);
        return vpaddq_s32(vmull_s16(vget_low_s16(x), vget_low_s16(y)), vmull_high_s16(x, y));
    }

    // 16-bit lanes, for the table reads' rounding-multiply blends.
    static constexpr bool kRoundingMultiply = true;
    static I bits(F a) { return vreinterpretq_s32_f32(a); }
    static I sub16(I a, I b) { return s32(vsubq_s16(s16(a), s16(b))); }
    // (a b + 2^14) >> 15 as x86's pmulhrsw, but for -32768 squared, which
    // saturates here and wraps there.
    static I mulhrs(I a, I b) { return s32(vqrdmulhq_s16(s16(a), s16(b))); }
    template <int N>
    static I slli16(I a) {
        return s32(vshlq_n_s16(s16(a), N));
    }
    // 16-bit lane k of b where bit k of Mask is set, else of a.
    template <int Mask>
    static I blend16(I a, I b) {
        auto on = [](int k) { return static_cast<uint16_t>((Mask >> k) & 1 ? 0xffff : 0); };
        const uint16x8_t m = {on(0), on(1), on(2), on(3), on(4), on(5), on(6), on(7)};
        return s32(vbslq_s16(m, s16(b), s16(a)));
    }
    static I maxi16(I a, I b) { return s32(vmaxq_s16(s16(a), s16(b))); }
    static I mini16(I a, I b) { return s32(vminq_s16(s16(a), s16(b))); }
    // Each lane's a and b saturated to 16 bits, as its low and high half.
    static I packPairs(I a, I b) {
        const int16x4_t zero = vdup_n_s16(0);
        return s32(vzip1q_s16(vcombine_s16(vqmovn_s32(a), zero), vcombine_s16(vqmovn_s32(b), zero)));
    }
    // Bytes B0..B3 of each 32-bit lane, in that order; -1 gives zero (an
    // index past the table).
    template <int B0, int B1, int B2, int B3>
    static I laneBytes(I a) {
        auto at = [](int b, int lane) { return static_cast<uint8_t>(b < 0 ? 0xff : b + 4 * lane); };
        const uint8x16_t m = {at(B0, 0), at(B1, 0), at(B2, 0), at(B3, 0), at(B0, 1), at(B1, 1),
                              at(B2, 1), at(B3, 1), at(B0, 2), at(B1, 2), at(B2, 2), at(B3, 2),
                              at(B0, 3), at(B1, 3), at(B2, 3), at(B3, 3)};
        return vreinterpretq_s32_u8(vqtbl1q_u8(vreinterpretq_u8_s32(a), m));
    }
    // Element (index & 7) of the 8 floats at `table`: one two-register
    // byte lookup.
    static F permute(const float* table, I index) {
        const uint8x16x2_t t = {{vreinterpretq_u8_f32(vld1q_f32(table)),
                                 vreinterpretq_u8_f32(vld1q_f32(table + 4))}};
        const uint32x4_t bytes = vmlaq_n_u32(vdupq_n_u32(0x03020100u),
                                             vandq_u32(vreinterpretq_u32_s32(index), vdupq_n_u32(7)),
                                             0x04040404u);
        return vreinterpretq_f32_u8(vqtbl2q_u8(t, vreinterpretq_u8_u32(bytes)));
    }

private:
    static int16x8_t s16(I a) { return vreinterpretq_s16_s32(a); }
    static I s32(int16x8_t a) { return vreinterpretq_s32_s16(a); }
    static uint32x4_t u(F a) { return vreinterpretq_u32_f32(a); }
    static F mask(uint32x4_t m) { return vreinterpretq_f32_u32(m); }

public:
    // The mix's 16-bit lanes: 8 pixels, in two halves of this set's width.
    using Ops16 = NEONOps16;
    static void floats16(Ops16::V a, F out[2]) {
        const uint16x8_t x = vreinterpretq_u16_s16(a);
        out[0] = vcvtq_f32_u32(vmovl_u16(vget_low_u16(x)));
        out[1] = vcvtq_f32_u32(vmovl_high_u16(x));
    }
    static Ops16::V ints16(I lo, I hi) { return vcombine_s16(vqmovn_s32(lo), vqmovn_s32(hi)); }
    static bool noneSet16(Ops16::V m) { return vmaxvq_u16(vreinterpretq_u16_s16(m)) == 0; }

    static I avgFloorU8(I a, I b) {
        return vreinterpretq_s32_u8(vhaddq_u8(vreinterpretq_u8_s32(a), vreinterpretq_u8_s32(b)));
    }
};

}  // namespace
}  // namespace kelvo::video

namespace kelvo::video {

static_assert(kIsPixelLanes<NEONPixels>,
              "NEONPixels lacks an operation of the pixel lanes in cpu/lanes.h");
static_assert(kIsPixelFloorAverages<NEONPixels>, "NEONPixels lacks avgFloorU8");
using Rows = BeautyLaneRows<NEONPixels>;

void BeautyDownsizeRow_NEON(const uint8_t* src, const int32_t* x0, const int32_t* x1,
                            const uint32_t* weights, uint8_t* dst, int width) {
    Rows::downsize(src, x0, x1, weights, dst, width);
}
void BeautyHalveRow_NEON(const uint8_t* src, uint8_t* dst, int width) {
    Rows::halve(src, dst, width);
}
void BeautyDoubleRow_NEON(const uint8_t* src, uint8_t* dst, int width) {
    Rows::doubled(src, dst, width);
}
void BeautyBlurRgbColumnRow_NEON(const BeautyColumnTaps& taps, uint8_t* dst, int width) {
    Rows::blurRgbColumn(taps, dst, width);
}
void BeautySoften2Row_NEON(const uint8_t* blur, const uint8_t* in0, const uint8_t* in1,
                           uint32_t inWeight, uint8_t* dst, int width) {
    Rows::soften2(blur, in0, in1, inWeight, dst, width);
}
void BeautyBlurAlphaRow_NEON(const uint8_t* src, uint8_t* dst, int width) {
    Rows::blurAlpha(src, dst, width);
}
void BeautyBlurAlphaColumnRow_NEON(const uint8_t* const* rows, uint8_t* dst, int width) {
    Rows::blurAlphaColumn(rows, dst, width);
}
void BeautyMixRow_NEON(const BeautyMixUniforms& u, const uint8_t* above, const uint8_t* row,
                       const uint8_t* below, const uint8_t* blur0, const uint8_t* blur1,
                       uint32_t blurWeight, uint8_t* dst, int width) {
    Rows::mix(u, above, row, below, blur0, blur1, blurWeight, dst, width);
}
void BeautyGradeRow_NEON(const BeautyMixUniforms& u, float* rgb, int count) {
    Rows::gradeRow(u, rgb, count);
}

}  // namespace kelvo::video
