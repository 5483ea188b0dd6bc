// Lane operations on 16-bit integers for the fixed-point row kernels, in the
// manner of vec.h: ScalarOps16 here (the portable rows), SSE2Ops16 and
// AVX2Ops16 in vec16_sse2.h / vec16_avx2.h. Lanes hold values that never
// leave 0..65535 (unsigned operations) or -32768..32767 (signed ones), so
// the scalar set, which computes in int32_t, gives the same results.
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
KELVO_CPU_INLINE int32_t pairedWeight(const int16_t* w) {
    return static_cast<int32_t>(static_cast<uint16_t>(w[0])) |
           static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(w[1])) << 16);
}

struct ScalarOps16 {
    static constexpr int N = 1;
    using V = int32_t;

    static V set(int16_t x) { return x; }
    static V load8(const uint8_t* p) { return p[0]; }
    static V add(V a, V b) { return a + b; }
    static V sub(V a, V b) { return a - b; }
    static V mullo(V a, V b) { return a * b; }
    static V max(V a, V b) { return a > b ? a : b; }
    static V min(V a, V b) { return a < b ? a : b; }
    template <int S>
    static V srli(V a) {
        return a >> S;
    }
    template <int S>
    static V slli(V a) {
        return a << S;
    }
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
};
static_assert(kIsLaneOps16<ScalarOps16>, "ScalarOps16 lacks an operation of cpu/lanes.h");

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
