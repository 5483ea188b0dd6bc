// The 32-bit lane sets of cpu/lanes.h: ScalarOps here (the portable rows),
// SSE2Ops and AVX2Ops in vec_sse2.h / vec_avx2.h, each included only by the
// row file compiled for that instruction set.
//
// Everything lives in an unnamed namespace: each row file gets its own copy,
// so the linker can never merge an AVX2-compiled helper into the portable
// rows.
#pragma once

#include "cpu/lanes.h"
#include "system/cpu_features.h"
#include <cstdint>
#include <cstring>

// Helpers are inlined into the row so that vector arguments stay in
// registers.
#if defined(__GNUC__)
#define KELVO_CPU_INLINE inline __attribute__((always_inline))
#else
#define KELVO_CPU_INLINE inline
#endif

namespace kelvo {
namespace video {
namespace {

struct ScalarOps {
    static constexpr int N = 1;
    using F = float;
    using I = int32_t;
    using M = bool;

    static F set(float x) { return x; }
    static I seti(int32_t x) { return x; }
    static F loadf(const float* p) { return *p; }
    static void storef(float* p, F v) { *p = v; }
    // N int32s from any memory (pixels read so hold bytes 0..3 of each in
    // increasing significance: the lanes are little-endian everywhere).
    static I loadi(const void* p) {
        I v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void storei(void* p, I v) { std::memcpy(p, &v, sizeof v); }
    static F min(F a, F b) { return a < b ? a : b; }
    static F max(F a, F b) { return a > b ? a : b; }
    static F sqrt(F a) { return __builtin_sqrtf(a); }
    static M lt(F a, F b) { return a < b; }
    static M le(F a, F b) { return a <= b; }
    static M gt(F a, F b) { return a > b; }
    static M ne(F a, F b) { return a != b; }
    static M gti(I a, I b) { return a > b; }
    static F select(M m, F a, F b) { return m ? a : b; }
    static I selecti(M m, I a, I b) { return m ? a : b; }
    static I cvtt(F a) { return static_cast<int32_t>(a); }
    static F cvtf(I a) { return static_cast<float>(a); }
    static I bits(F a) {
        int32_t i;
        std::memcpy(&i, &a, 4);
        return i;
    }
    static F fromBits(I i) {
        float f;
        std::memcpy(&f, &i, 4);
        return f;
    }
    static I addi(I a, I b) { return a + b; }
    static I subi(I a, I b) { return a - b; }
    static I andi(I a, int32_t m) { return a & m; }
    static I ori(I a, int32_t m) { return a | m; }
    template <int S>
    static I srai(I a) {
        return a >> S;
    }
    template <int S>
    static I slli(I a) {
        return static_cast<int32_t>(static_cast<uint32_t>(a) << S);
    }
    template <int S>
    static I srli(I a) {
        return static_cast<int32_t>(static_cast<uint32_t>(a) >> S);
    }
    static F gather(const float* t, I i) { return t[i]; }
    static I gatheri(const int32_t* t, I i) { return t[i]; }
    // 2^23 plus the low 16 bits of a, exactly: differences of two are those
    // of the integers, with no conversion.
    static F u16Biased(I a) { return fromBits((a & 0xffff) | 0x4b000000); }
    static bool anyi(I a) { return a != 0; }
    // The low and high halves of t[i].
    static void gather64(const uint64_t* t, I i, I& lo, I& hi) {
        lo = static_cast<int32_t>(t[i] & 0xffffffffu);
        hi = static_cast<int32_t>(t[i] >> 32);
    }
    // gather64 from two tables at the same indices.
    static void gather64Two(const uint64_t* t, const uint64_t* u, I i, I& tlo, I& thi, I& ulo,
                            I& uhi) {
        gather64(t, i, tlo, thi);
        gather64(u, i, ulo, uhi);
    }

    static void loadRGB(const uint8_t* px, F& r, F& g, F& b) {
        r = static_cast<float>(px[0]);
        g = static_cast<float>(px[1]);
        b = static_cast<float>(px[2]);
    }
    static void storeRGBA(uint8_t* px, I r, I g, I b) {
        px[0] = static_cast<uint8_t>(r);
        px[1] = static_cast<uint8_t>(g);
        px[2] = static_cast<uint8_t>(b);
        px[3] = 255;
    }
    // As storeRGBA, each channel first clamped to 0..255.
    static void storeRGBAClamped(uint8_t* px, I r, I g, I b) {
        auto clamp = [](I v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
        storeRGBA(px, clamp(r), clamp(g), clamp(b));
    }
};

static_assert(kIsLaneOps<ScalarOps>, "ScalarOps lacks an operation of cpu/lanes.h");

// Helpers shared by all kernels, generic over the operation set.
template <class O>
KELVO_CPU_INLINE typename O::F vclamp(typename O::F x, float lo, float hi) {
    return O::min(O::max(x, O::set(lo)), O::set(hi));
}

// floor for any finite float of magnitude below 2^31.
template <class O>
KELVO_CPU_INLINE typename O::F vfloor(typename O::F x) {
    typename O::F t = O::cvtf(O::cvtt(x));
    return O::select(O::gt(t, x), t - O::set(1.0f), t);
}

// Natural logarithm of x > 0 (finite, normal): the Cephes single-precision
// polynomial, accurate to about 1 ulp. Written in lane operations so that
// every row set computes the same bits.
template <class O>
KELVO_CPU_INLINE typename O::F vlog(typename O::F x) {
    using F = typename O::F;
    using I = typename O::I;
    I bits = O::bits(x);
    I e = O::subi(O::template srai<23>(bits), O::seti(126));
    F m = O::fromBits(O::ori(O::andi(bits, 0x007fffff), 0x3f000000));  // in [0.5, 1)
    F ef = O::cvtf(e);
    auto small = O::lt(m, O::set(0.707106781186547524f));
    ef = O::select(small, ef - O::set(1.0f), ef);
    F t = O::select(small, m + m - O::set(1.0f), m - O::set(1.0f));
    F z = t * t;
    F y = O::set(7.0376836292e-2f);
    y = y * t + O::set(-1.1514610310e-1f);
    y = y * t + O::set(1.1676998740e-1f);
    y = y * t + O::set(-1.2420140846e-1f);
    y = y * t + O::set(1.4249322787e-1f);
    y = y * t + O::set(-1.6668057665e-1f);
    y = y * t + O::set(2.0000714765e-1f);
    y = y * t + O::set(-2.4999993993e-1f);
    y = y * t + O::set(3.3333331174e-1f);
    y = y * t * z;
    y = y + ef * O::set(-2.12194440e-4f);
    y = y - z * O::set(0.5f);
    F r = t + y;
    return r + ef * O::set(0.693359375f);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
