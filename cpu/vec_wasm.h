// WebAssembly SIMD128 lane operations (4 lanes) with the meaning of ScalarOps
// in vec.h. A module either validates with SIMD128 or not at all, so the
// build that has these rows (-msimd128) runs them everywhere it loads.
// min and max are the portable compare-and-pick (f32x4.min differs on NaN
// and signed zeros); truncation saturates.
#pragma once

#include <wasm_simd128.h>

#include "cpu/vec.h"

namespace kelvo {
namespace video {
namespace {

struct WASMOps {
    static constexpr int N = 4;
    // Float and int lanes as their own vector types, so that the operators
    // the kernels use (+ - *) are the float or integer ones.
    using F = float __attribute__((__vector_size__(16), __aligned__(16)));
    using I = int32_t __attribute__((__vector_size__(16), __aligned__(16)));
    using M = I;

    static v128_t v(F a) { return reinterpret_cast<v128_t>(a); }
    static v128_t v(I a) { return reinterpret_cast<v128_t>(a); }
    static F f(v128_t a) { return reinterpret_cast<F>(a); }
    static I i(v128_t a) { return reinterpret_cast<I>(a); }

    static F set(float x) { return f(wasm_f32x4_splat(x)); }
    static I seti(int32_t x) { return i(wasm_i32x4_splat(x)); }
    static F loadf(const float* p) { return f(wasm_v128_load(p)); }
    static void storef(float* p, F a) { wasm_v128_store(p, v(a)); }
    static I loadi(const void* p) { return i(wasm_v128_load(p)); }
    static void storei(void* p, I a) { wasm_v128_store(p, v(a)); }
    static F min(F a, F b) { return f(wasm_v128_bitselect(v(a), v(b), wasm_f32x4_lt(v(a), v(b)))); }
    static F max(F a, F b) { return f(wasm_v128_bitselect(v(a), v(b), wasm_f32x4_gt(v(a), v(b)))); }
    static F sqrt(F a) { return f(wasm_f32x4_sqrt(v(a))); }
    static M lt(F a, F b) { return i(wasm_f32x4_lt(v(a), v(b))); }
    static M le(F a, F b) { return i(wasm_f32x4_le(v(a), v(b))); }
    static M gt(F a, F b) { return i(wasm_f32x4_gt(v(a), v(b))); }
    static M ne(F a, F b) { return i(wasm_f32x4_ne(v(a), v(b))); }
    static M gti(I a, I b) { return i(wasm_i32x4_gt(v(a), v(b))); }
    static F select(M m, F a, F b) { return f(wasm_v128_bitselect(v(a), v(b), v(m))); }
    static I selecti(M m, I a, I b) { return i(wasm_v128_bitselect(v(a), v(b), v(m))); }
    static I cvtt(F a) { return i(wasm_i32x4_trunc_sat_f32x4(v(a))); }
    static F cvtf(I a) { return f(wasm_f32x4_convert_i32x4(v(a))); }
    static I bits(F a) { return i(v(a)); }
    static F fromBits(I a) { return f(v(a)); }
    static I addi(I a, I b) { return i(wasm_i32x4_add(v(a), v(b))); }
    static I subi(I a, I b) { return i(wasm_i32x4_sub(v(a), v(b))); }
    static I andi(I a, int32_t m) { return i(wasm_v128_and(v(a), wasm_i32x4_splat(m))); }
    static I ori(I a, int32_t m) { return i(wasm_v128_or(v(a), wasm_i32x4_splat(m))); }
    template <int S>
    static I srai(I a) {
        return i(wasm_i32x4_shr(v(a), S));
    }
    template <int S>
    static I slli(I a) {
        return i(wasm_i32x4_shl(v(a), S));
    }
    template <int S>
    static I srli(I a) {
        return i(wasm_u32x4_shr(v(a), S));
    }
    static F gather(const float* t, I x) { return F{t[x[0]], t[x[1]], t[x[2]], t[x[3]]}; }
    static I gatheri(const int32_t* t, I x) { return I{t[x[0]], t[x[1]], t[x[2]], t[x[3]]}; }
    static F u16Biased(I a) {
        return f(wasm_v128_or(wasm_v128_and(v(a), wasm_i32x4_splat(0xffff)),
                              wasm_i32x4_splat(0x4b000000)));
    }
    static bool anyi(I a) { return wasm_v128_any_true(v(a)); }
    static void gather64(const uint64_t* t, I x, I& lo, I& hi) {
        const v128_t ab = wasm_u64x2_make(t[x[0]], t[x[1]]);
        const v128_t cd = wasm_u64x2_make(t[x[2]], t[x[3]]);
        // Little-endian: the even 32-bit lanes are the low halves.
        lo = i(wasm_i32x4_shuffle(ab, cd, 0, 2, 4, 6));
        hi = i(wasm_i32x4_shuffle(ab, cd, 1, 3, 5, 7));
    }
    static void gather64Two(const uint64_t* t, const uint64_t* u, I x, I& tlo, I& thi, I& ulo,
                            I& uhi) {
        gather64(t, x, tlo, thi);
        gather64(u, x, ulo, uhi);
    }

    static void loadRGB(const uint8_t* px, F& r, F& g, F& b) {
        const v128_t p = wasm_v128_load(px);
        const v128_t m = wasm_i32x4_splat(0xff);
        r = f(wasm_f32x4_convert_i32x4(wasm_v128_and(p, m)));
        g = f(wasm_f32x4_convert_i32x4(wasm_v128_and(wasm_u32x4_shr(p, 8), m)));
        b = f(wasm_f32x4_convert_i32x4(wasm_v128_and(wasm_u32x4_shr(p, 16), m)));
    }
    // Each channel's low byte, as the portable row's byte casts keep.
    static void storeRGBA(uint8_t* px, I r, I g, I b) {
        const v128_t m = wasm_i32x4_splat(0xff);
        v128_t p = wasm_v128_or(wasm_v128_and(v(r), m), wasm_i32x4_shl(wasm_v128_and(v(g), m), 8));
        p = wasm_v128_or(p, wasm_i32x4_shl(wasm_v128_and(v(b), m), 16));
        p = wasm_v128_or(p, wasm_i32x4_splat(static_cast<int32_t>(0xff000000u)));
        wasm_v128_store(px, p);
    }
    static void storeRGBAClamped(uint8_t* px, I r, I g, I b) {
        const v128_t lo = wasm_i32x4_splat(0), hi = wasm_i32x4_splat(255);
        auto clamp = [&](I a) { return i(wasm_i32x4_max(wasm_i32x4_min(v(a), hi), lo)); };
        storeRGBA(px, clamp(r), clamp(g), clamp(b));
    }
};
static_assert(kIsLaneOps<WASMOps>, "WASMOps lacks an operation of cpu/lanes.h");

}  // namespace
}  // namespace video
}  // namespace kelvo
