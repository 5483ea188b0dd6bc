// The cube read, written once over the lane operations of vec.h. Included
// by the rows that read a cube.
#pragma once

#include "cpu/colour_cube.h"
#include "cpu/vec.h"

namespace kelvo {
namespace video {
namespace {

template <class O>
KELVO_CPU_INLINE void cubeCorner(const uint64_t* entries, typename O::I index, typename O::F c[3],
                                 typename O::I& mark) {
    typename O::I lo, hi;
    O::gather64(entries, index, lo, hi);
    c[0] = O::cvtf(O::andi(lo, 0xffff));
    c[1] = O::cvtf(O::andi(O::template srai<16>(lo), 0xffff));
    c[2] = O::cvtf(O::andi(hi, 0xffff));
    mark = O::andi(O::template srai<16>(hi), 1);
}

// Orders (fa, da) before (fb, db) when fb is the larger fraction.
template <class O>
KELVO_CPU_INLINE void cubeSortPair(typename O::F& fa, typename O::I& da, typename O::F& fb, typename O::I& db) {
    const auto swap = O::gt(fb, fa);
    const typename O::F f = O::select(swap, fb, fa);
    fb = O::select(swap, fa, fb);
    fa = f;
    const typename O::I d = O::selecti(swap, db, da);
    db = O::selecti(swap, da, db);
    da = d;
}

// The cube at grid positions (r, g, b), each in [0, size - 1]: tetrahedral
// interpolation, the four corners on the path from the cell's first corner
// stepping along the axes in order of their fractions. `marked` is 1 in
// lanes whose cell is marked, else 0.
template <class O>
KELVO_CPU_INLINE void cubeAt(const ColourCubeView& cube, typename O::F r, typename O::F g, typename O::F b,
                             typename O::F out[3], typename O::I& marked) {
    using F = typename O::F;
    using I = typename O::I;
    const int32_t n = cube.size;
    const float last = static_cast<float>(n - 2);
    // Flooring a non-negative value is truncation; the top cell takes the
    // last grid point with weight 1.
    const F ir = O::cvtf(O::cvtt(O::min(r, O::set(last))));
    const F ig = O::cvtf(O::cvtt(O::min(g, O::set(last))));
    const F ib = O::cvtf(O::cvtt(O::min(b, O::set(last))));
    const F nf = O::set(static_cast<float>(n));
    // Exact in float: indices stay below 2^24.
    const I base = O::cvtt(ir + nf * (ig + nf * ib));
    F f1 = r - ir, f2 = g - ig, f3 = b - ib;
    I d1 = O::seti(1), d2 = O::seti(n), d3 = O::seti(n * n);
    cubeSortPair<O>(f1, d1, f2, d2);
    cubeSortPair<O>(f2, d2, f3, d3);
    cubeSortPair<O>(f1, d1, f2, d2);
    const I i1 = O::addi(base, d1);
    const I i2 = O::addi(i1, d2);
    const I i3 = O::addi(base, O::seti(1 + n + n * n));
    F c0[3], c1[3], c2[3], c3[3];
    I unused;
    cubeCorner<O>(cube.entries, base, c0, marked);
    cubeCorner<O>(cube.entries, i1, c1, unused);
    cubeCorner<O>(cube.entries, i2, c2, unused);
    cubeCorner<O>(cube.entries, i3, c3, unused);
    for (int c = 0; c < 3; ++c) {
        const F v = c0[c] + f1 * (c1[c] - c0[c]) + f2 * (c2[c] - c1[c]) + f3 * (c3[c] - c2[c]);
        out[c] = v * O::set(kCubeStep) - O::set(kCubeOffset);
    }
}

template <class O>
KELVO_CPU_INLINE void cubeAt(const ColourCubeView& cube, typename O::F r, typename O::F g, typename O::F b,
                             typename O::F out[3]) {
    typename O::I marked;
    cubeAt<O>(cube, r, g, b, out, marked);
}

// The cube at a colour in [0, 1]^3 (clamped).
template <class O>
KELVO_CPU_INLINE void cubeLookup(const ColourCubeView& cube, typename O::F colour[3]) {
    const typename O::F top = O::set(static_cast<float>(cube.size - 1));
    cubeAt<O>(cube, vclamp<O>(colour[0], 0.0f, 1.0f) * top, vclamp<O>(colour[1], 0.0f, 1.0f) * top,
              vclamp<O>(colour[2], 0.0f, 1.0f) * top, colour);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
