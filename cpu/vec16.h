// Lane operations on 16-bit integers for the fixed-point row kernels, in the
// manner of vec.h: ScalarOps16 here (the portable rows), SSE2Ops16,
// AVX2Ops16 and NEONOps16 in vec16_sse2.h, vec16_avx2.h and vec16_neon.h.
// Lanes hold values that never leave 0..65535 (unsigned operations) or
// -32768..32767 (signed ones), so the scalar set, which computes in
// int32_t, gives the same results.
//
// Beside the N 16-bit lanes V, each set has a byte vector B of 2N 8-bit
// lanes in the same register, for rows that compare and saturate bytes
// before they widen. Byte lane k of B widens to lane k of the low V (k < N)
// or lane k - N of the high one, in memory order on every set.
//
// Sets of N >= 4 hold whole 4-byte pixels in a byte vector, and add the
// operations of packed pixels (PackedPixels16 in cpu/lanes.h; not in the
// scalar set, whose byte vector holds half a pixel). Their 32-bit results
// are V of N / 2 int32 lanes, in order:
//   repeat4(w)          lane k = w[k % 4], the weights of a pixel's bytes
//   dot4U8(a, w)        lane k = sum over c of byte 4k + c of a times w[c]:
//                       one sum per pixel (NEON widening multiplies and
//                       vpadd; elsewhere the even and odd bytes of each
//                       pixel multiplied and added in its own 32-bit lane)
//   sum2x2U8(r0, r1)    lane 4k + c = the sum of byte c of pixels 2k and
//                       2k + 1 of both rows: a 2x2 block's channel sums
//                       (NEON vaddl of the rows, then vuzp1/vuzp2 on 64-bit
//                       lanes and an add)
//   dot4(a, b, w)       lane k = sum over c of lane 4k + c of a times w[c]
//                       for k < N / 4, the same of b for the rest (NEON
//                       vmull_s16 and vpaddq_s32 twice)
//   set32(x), srai32<S> 32-bit lanes
//   narrowU8x4(a, b, c, d) the 32-bit lanes of a, b, c, d in order,
//                       saturated to 16 bits and then to 0..255 (NEON
//                       vqmovn_s32, then vqmovun_s16)
// Sets of N >= 8 also read a colour cube's 64-bit entries for N / 8 pixels
// at a time (CubePairs16 in cpu/lanes.h; the portable cube row is written
// out):
//   cubePairs(t, i, j)  lanes 8p + 2k and 8p + 2k + 1 = 16-bit lane k of
//                       t[i[p]] and of t[j[p]], less 32768 (k < 4), for
//                       pixel p: pairs for the 16-bit multiply-add
//   repeat32(w)         32-bit lanes 4p..4p + 3 = w[p]
#pragma once

#include <cstdint>

#include "cpu/vec.h"

namespace kelvo {
namespace video {
namespace {

// Per output channel c of rgbaFromYUV, with x = (y, u, v):
//   clamp((sum_j x_j (128 k[c][j][0] + k[c][j][1]) + 2^19) >> 20, 0, 255):
// each weight split in two 16-bit halves keeps 22 bits of it, so that the
// result rounds as the float conversion does.
constexpr int kFixedShift = 20;
using FixedMatrix = int16_t[3][3][2];

// A split weight as the 32-bit lane a multiply-add of (128 x, x) pairs takes.
KELVO_CPU_INLINE int32_t pairedWeight(int16_t w0, int16_t w1) {
    return static_cast<int32_t>(static_cast<uint16_t>(w0)) |
           static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(w1)) << 16);
}
KELVO_CPU_INLINE int32_t pairedWeight(const int16_t* w) { return pairedWeight(w[0], w[1]); }

// The scalar byte vector: two byte lanes, 0..255 each.
struct ScalarBytes {
    int32_t b[2];
};

struct ScalarOps16 {
    static constexpr int N = 1;
    using V = int32_t;
    using B = ScalarBytes;

    static V set(int16_t x) { return x; }
    static V load8(const uint8_t* p) { return p[0]; }
    // N 16-bit values, unaligned.
    static V load16(const uint16_t* p) { return p[0]; }
    static void store16(uint16_t* p, V a) { p[0] = static_cast<uint16_t>(a); }
    static V add(V a, V b) { return a + b; }
    static V sub(V a, V b) { return a - b; }
    static V mullo(V a, V b) { return a * b; }
    // High half of the unsigned product.
    static V mulhiU(V a, V b) {
        return static_cast<V>((static_cast<uint32_t>(a) * static_cast<uint32_t>(b)) >> 16);
    }
    static V max(V a, V b) { return a > b ? a : b; }
    static V min(V a, V b) { return a < b ? a : b; }
    // Saturating to -32768..32767 (adds, subs) or 0..65535 (addsU, subsU).
    static V adds(V a, V b) { return sat(a + b, -32768, 32767); }
    static V subs(V a, V b) { return sat(a - b, -32768, 32767); }
    static V addsU(V a, V b) { return sat(a + b, 0, 65535); }
    static V subsU(V a, V b) { return sat(a - b, 0, 65535); }
    // |a - b| of unsigned lanes (NEON vabd, two saturating subtractions
    // elsewhere).
    static V absDiffU(V a, V b) { return a > b ? a - b : b - a; }
    // All ones where a > b (signed), else zero; select takes a where m is set.
    static V cmpgt(V a, V b) { return a > b ? -1 : 0; }
    static V select(V m, V a, V b) { return m ? a : b; }
    template <int S>
    static V srli(V a) {
        return a >> S;
    }
    template <int S>
    static V srai(V a) {
        return a >> S;
    }
    template <int S>
    static V slli(V a) {
        return a << S;
    }
    // Products of lanes 2k and 2k + 1 summed into 32-bit lane k: a V of N/2
    // int32 lanes (here one lane and one product). add32 adds such vectors;
    // hsum32 and hsum16 are the sums of all 32-bit or signed 16-bit lanes.
    static V madd(V a, V b) { return a * b; }
    // The lanes zero extended to the 32-bit lanes of lo and hi, the I of the
    // 32-bit set of the same width (cpu/vec.h); narrowS32 saturates such
    // halves back to 16 bits, and mulAdd32 gives a wa + b wb in them. Which
    // lane goes to which half is the set's own (AVX2 splits each 128-bit
    // half, as its packs do); lane-wise operations on halves of one split
    // keep it, and narrowS32 undoes it. With its one lane the scalar set
    // puts it in both halves and takes lo back.
    static void widenU16(V a, V& lo, V& hi) { lo = hi = a; }
    static void mulAdd32(V a, int16_t wa, V b, int16_t wb, V& lo, V& hi) {
        lo = hi = a * wa + b * wb;
    }
    static V narrowS32(V lo, V hi) { return (void)hi, sat(lo, -32768, 32767); }
    static V add32(V a, V b) { return a + b; }
    static int32_t hsum32(V a) { return a; }
    static int32_t hsum16(V a) { return a; }

    // Bytes: 2N lanes of B.
    static B set8(uint8_t x) { return {{x, x}}; }
    static B loadU8(const uint8_t* p) { return {{p[0], p[1]}}; }
    static void storeU8(uint8_t* p, B a) {
        p[0] = static_cast<uint8_t>(a.b[0]);
        p[1] = static_cast<uint8_t>(a.b[1]);
    }
    // Lanes 0..N-1 from p0, N..2N-1 from p1 (two rows of a block at once).
    static B loadU8Halves(const uint8_t* p0, const uint8_t* p1) { return {{p0[0], p1[0]}}; }
    static void storeU8Halves(uint8_t* p0, uint8_t* p1, B a) {
        p0[0] = static_cast<uint8_t>(a.b[0]);
        p1[0] = static_cast<uint8_t>(a.b[1]);
    }
    static B addsU8(B a, B b) {
        return map(a, b, [](int x, int y) { return sat(x + y, 0, 255); });
    }
    static B subsU8(B a, B b) {
        return map(a, b, [](int x, int y) { return sat(x - y, 0, 255); });
    }
    // Wrapping difference.
    static B sub8(B a, B b) {
        return map(a, b, [](int x, int y) { return (x - y) & 255; });
    }
    static B absDiffU8(B a, B b) {
        return map(a, b, [](int x, int y) { return x > y ? x - y : y - x; });
    }
    static B maxU8(B a, B b) {
        return map(a, b, [](int x, int y) { return x > y ? x : y; });
    }
    // (a + b) >> 1 (NEON vhadd; SSE2 corrects its rounded average).
    static B avgFloorU8(B a, B b) {
        return map(a, b, [](int x, int y) { return (x + y) >> 1; });
    }
    // 255 where a == b (eq8) or a <= b (leU8), else 0.
    static B eq8(B a, B b) {
        return map(a, b, [](int x, int y) { return x == y ? 255 : 0; });
    }
    static B leU8(B a, B b) {
        return map(a, b, [](int x, int y) { return x <= y ? 255 : 0; });
    }
    static B and8(B a, B b) {
        return map(a, b, [](int x, int y) { return x & y; });
    }
    // Bitwise: a where m's bits are set, else b (m is a mask of leU8).
    static B select8(B m, B a, B b) {
        return map(m, a, b, [](int mm, int x, int y) { return (mm & x) | (~mm & y & 255); });
    }
    // Zero extended (widenU8) or as signed bytes (widenS8) to 16-bit lanes.
    static void widenU8(B a, V& lo, V& hi) {
        lo = a.b[0];
        hi = a.b[1];
    }
    static void widenS8(B a, V& lo, V& hi) {
        lo = static_cast<int8_t>(a.b[0]);
        hi = static_cast<int8_t>(a.b[1]);
    }
    // 2N bytes loaded and zero extended: widenU8(loadU8(p)) in one (x86 and
    // NEON widen straight from memory).
    static void loadWidenU8(const uint8_t* p, V& lo, V& hi) {
        lo = p[0];
        hi = p[1];
    }
    // Signed 16-bit lanes saturated to 0..255, lo's to lanes 0..N-1.
    static B narrowU8(V lo, V hi) { return {{sat(lo, 0, 255), sat(hi, 0, 255)}}; }
    // Lane k: p[k / 2], N / 2 bytes read (chroma under two pixels each).
    static V load8Doubled(const uint8_t* p) { return p[0]; }
    // N pixels of four bytes, byte c of pixel k from lane k of channel c,
    // saturated to 0..255 (NEON vst4).
    static void storePixels4(uint8_t* p, V c0, V c1, V c2, V c3) {
        p[0] = static_cast<uint8_t>(sat(c0, 0, 255));
        p[1] = static_cast<uint8_t>(sat(c1, 0, 255));
        p[2] = static_cast<uint8_t>(sat(c2, 0, 255));
        p[3] = static_cast<uint8_t>(sat(c3, 0, 255));
    }
    // Lane k: the larger of bytes 2k and 2k + 1 (NEON vpmax).
    static V pairMaxU8(B a) { return a.b[0] > a.b[1] ? a.b[0] : a.b[1]; }

    // N lanes saturated to 0..255, N bytes stored (the narrowing of load8).
    static void storeNarrowU8(uint8_t* p, V a) { p[0] = static_cast<uint8_t>(sat(a, 0, 255)); }
    // Bytes e0, o0, e1, o1, ... of values 0..255.
    static void storeInterleaved8(uint8_t* p, V e, V o) {
        p[0] = static_cast<uint8_t>(e);
        p[1] = static_cast<uint8_t>(o);
    }
    static void rgbaFromYUV(uint8_t* px, V y, V u, V v, const FixedMatrix& k) {
        const V x[3] = {y, u, v};
        for (int c = 0; c < 3; ++c) {
            int32_t s = 1 << (kFixedShift - 1);
            for (int j = 0; j < 3; ++j) s += x[j] * (128 * k[c][j][0] + k[c][j][1]);
            s >>= kFixedShift;
            px[c] = static_cast<uint8_t>(s < 0 ? 0 : s > 255 ? 255 : s);
        }
        px[3] = 255;
    }

    // The N pixels of four bytes from p, byte c of pixel k to lane k of c[c]
    // (the inverse of storePixels4; NEON vld4).
    static void loadPixels4(const uint8_t* p, V& c0, V& c1, V& c2, V& c3) {
        c0 = p[0], c1 = p[1], c2 = p[2], c3 = p[3];
    }

private:
    static int32_t sat(int32_t x, int32_t lo, int32_t hi) { return x < lo ? lo : x > hi ? hi : x; }
    template <class F>
    static B map(B a, B b, F f) {
        return {{f(a.b[0], b.b[0]), f(a.b[1], b.b[1])}};
    }
    template <class F>
    static B map(B a, B b, B c, F f) {
        return {{f(a.b[0], b.b[0], c.b[0]), f(a.b[1], b.b[1], c.b[1])}};
    }

public:
    // Channel operations (cpu/lanes.h Channels16).
    // The high half of the signed product.
    static V mulhi(V a, V b) { return (a * b) >> 16; }
    // N 4-byte pixels at p: lane k of c0, c1 and c2 takes bytes 0, 1 and 2
    // of pixel k, zero extended.
    static void loadPixels3(const uint8_t* p, V& c0, V& c1, V& c2) {
        c0 = p[0];
        c1 = p[1];
        c2 = p[2];
    }
    // Lane k: the low (lo) and high (hi) 16 bits of table[idx[k]], the index
    // an unsigned lane.
    static void lookup32(const uint32_t* table, V idx, V& lo, V& hi) {
        const uint32_t t = table[idx & 0xFFFF];
        lo = static_cast<V>(t & 0xFFFF);
        hi = static_cast<V>(t >> 16);
    }

    // The 32-bit lanes of mulAdd32's halves, as the sets of whole pixels
    // have them (cpu/lanes.h PackedPixels16).
    static V set32(int32_t x) { return x; }
    template <int S>
    static V srai32(V a) {
        return a >> S;
    }
    // Rounded byte averages, (a + b + 1) >> 1.
    static B avgU8(B a, B b) {
        return map(a, b, [](int x, int y) { return (x + y + 1) >> 1; });
    }
    // Lane 4k + c: the sum of lanes 4k to 4k + c - 1 (mod 2^16), the lanes
    // before it of its 4-byte pixel; so 0 in a one-lane set.
    static V pixelPrefix(V) { return 0; }
    // Bytes widened to 16-bit lanes in the set's own order (memory order but
    // on AVX2, which keeps each 128-bit half's bytes in it), which
    // narrowSplitU8 undoes: widenSplitU8 one vector, widenPairU8 the sums
    // of two, a + b. The orders keep a 4-byte pixel's lanes together.
    static void widenSplitU8(B a, V& lo, V& hi) { widenU8(a, lo, hi); }
    static void widenPairU8(B a, B b, V& lo, V& hi) {
        lo = a.b[0] + b.b[0];
        hi = a.b[1] + b.b[1];
    }
    static B narrowSplitU8(V lo, V hi) { return narrowU8(lo, hi); }
    // The low 16 bits of the product as a signed lane, whatever the
    // product's size (for an exact difference that is known to fit).
    static V mulloWrap(V a, V b) {
        return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(a) *
                                                          static_cast<uint32_t>(b)));
    }
};
static_assert(kIsLaneOps16<ScalarOps16>, "ScalarOps16 lacks an operation of cpu/lanes.h");
static_assert(kIsChannels16<ScalarOps16>, "ScalarOps16 lacks a channel operation");
static_assert(kIsPixelPlanes16<ScalarOps16>, "ScalarOps16 lacks a pixel-plane operation");
static_assert(kIsPixelSums16<ScalarOps16>, "ScalarOps16 lacks a pixel-sum operation");

// (a (256 - w) + b w + 128) >> 8 for bytes a, b and 0 <= w <= 255: the
// texture sampler's 8-bit blend, a + (((b - a) w + 128) >> 8), without a
// signed product that overflows 16 bits.
template <class O>
KELVO_CPU_INLINE typename O::V blend8(typename O::V a, typename O::V b, typename O::V wa,
                                      typename O::V wb) {
    return O::template srli<8>(O::add(O::add(O::mullo(a, wa), O::mullo(b, wb)), O::set(128)));
}

}  // namespace
}  // namespace video
}  // namespace kelvo
