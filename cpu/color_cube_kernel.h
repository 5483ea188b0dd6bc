// The cube read, written once over the lane operations of vec.h. Included
// by the rows that read a cube.
#pragma once

#include "cpu/color_cube.h"
#include "cpu/vec.h"

namespace kelvo {
namespace video {
namespace {

// The three channels of an entry whose halves are lo, hi, each plus 2^23.
template <class O>
KELVO_CPU_INLINE void cubeUnpack(typename O::I lo, typename O::I hi, typename O::F c[3]) {
    c[0] = O::u16Biased(lo);
    c[1] = O::u16Biased(O::template srli<16>(lo));
    c[2] = O::u16Biased(hi);
}

// Orders (fa, da) before (fb, db) when fb is the larger fraction.
template <class O>
KELVO_CPU_INLINE void cubeSortPair(typename O::F& fa, typename O::I& da, typename O::F& fb,
                                   typename O::I& db) {
    const auto swap = O::gt(fb, fa);
    const typename O::F f = O::select(swap, fb, fa);
    fb = O::select(swap, fa, fb);
    fa = f;
    const typename O::I d = O::selecti(swap, db, da);
    db = O::selecti(swap, da, db);
    da = d;
}

// Where a colour reads the cube: tetrahedral interpolation, the four corners
// on the path from the cell's first corner stepping along the axes in order
// of their fractions (the last, the first's diagonal neighbour, is implied),
// and those fractions.
template <class O>
struct CubePath {
    typename O::I corner[3];
    typename O::F f1, f2, f3;
};

// The path's second and third corners: steps along the axes in order of
// their fractions, which end up sorted largest first.
template <class O>
KELVO_CPU_INLINE void cubeStepInOrder(int32_t n, CubePath<O>& path) {
    using I = typename O::I;
    I d1 = O::seti(1), d2 = O::seti(n), d3 = O::seti(n * n);
    cubeSortPair<O>(path.f1, d1, path.f2, d2);
    cubeSortPair<O>(path.f2, d2, path.f3, d3);
    cubeSortPair<O>(path.f1, d1, path.f2, d2);
    path.corner[1] = O::addi(path.corner[0], d1);
    path.corner[2] = O::addi(path.corner[1], d2);
}

// The path at grid positions (r, g, b), each in [0, size - 1].
template <class O>
KELVO_CPU_INLINE CubePath<O> cubePath(const ColorCubeView& cube, typename O::F r, typename O::F g,
                                      typename O::F b) {
    using F = typename O::F;
    const int32_t n = cube.size;
    const float last = static_cast<float>(n - 2);
    // Flooring a non-negative value is truncation; the top cell takes the
    // last grid point with weight 1.
    const F ir = O::cvtf(O::cvtt(O::min(r, O::set(last))));
    const F ig = O::cvtf(O::cvtt(O::min(g, O::set(last))));
    const F ib = O::cvtf(O::cvtt(O::min(b, O::set(last))));
    const F nf = O::set(static_cast<float>(n));
    CubePath<O> path;
    // Exact in float: indices stay below 2^24.
    path.corner[0] = O::cvtt(ir + nf * (ig + nf * ib));
    path.f1 = r - ir, path.f2 = g - ig, path.f3 = b - ib;
    cubeStepInOrder<O>(n, path);
    return path;
}

// The four corners' entries along a path, unpacked. `marked` is bits 48..63
// of the cell's first corner: the mark in bit 0, the owner's number for the
// cell above it.
template <class O>
KELVO_CPU_INLINE void cubeCorners(const ColorCubeView& cube, const CubePath<O>& path,
                                  typename O::F c0[3], typename O::F c1[3], typename O::F c2[3],
                                  typename O::F c3[3], typename O::I& marked) {
    using I = typename O::I;
    // The last corner is the first's diagonal neighbour: one index serves both.
    const int32_t n = cube.size;
    I lo[4], hi[4];
    O::gather64Two(cube.entries, cube.entries + (1 + n + n * n), path.corner[0], lo[0], hi[0],
                   lo[3], hi[3]);
    O::gather64(cube.entries, path.corner[1], lo[1], hi[1]);
    O::gather64(cube.entries, path.corner[2], lo[2], hi[2]);
    marked = O::template srli<16>(hi[0]);
    cubeUnpack<O>(lo[0], hi[0], c0);
    cubeUnpack<O>(lo[1], hi[1], c1);
    cubeUnpack<O>(lo[2], hi[2], c2);
    cubeUnpack<O>(lo[3], hi[3], c3);
}

// The cube along a path, `marked` as cubeCorners gives it.
template <class O>
KELVO_CPU_INLINE void cubeRead(const ColorCubeView& cube, const CubePath<O>& path,
                               typename O::F out[3], typename O::I& marked) {
    using F = typename O::F;
    F c0[3], c1[3], c2[3], c3[3];
    cubeCorners<O>(cube, path, c0, c1, c2, c3, marked);
    for (int c = 0; c < 3; ++c) {
        // Biased values subtract exactly; the first corner drops its bias.
        const F v = (c0[c] - O::set(8388608.0f)) + path.f1 * (c1[c] - c0[c]) +
                    path.f2 * (c2[c] - c1[c]) + path.f3 * (c3[c] - c2[c]);
        out[c] = v * O::set(kCubeStep) - O::set(kCubeOffset);
    }
}

// The cube at grid positions (r, g, b), each in [0, size - 1].
template <class O>
KELVO_CPU_INLINE void cubeAt(const ColorCubeView& cube, typename O::F r, typename O::F g,
                             typename O::F b, typename O::F out[3]) {
    typename O::I marked;  // unused: callers of cubeAt take the grid as it is
    cubeRead<O>(cube, cubePath<O>(cube, r, g, b), out, marked);
}

// The cube at a colour in [0, 1]^3 (clamped).
template <class O>
KELVO_CPU_INLINE void cubeLookup(const ColorCubeView& cube, typename O::F colour[3]) {
    const typename O::F top = O::set(static_cast<float>(cube.size - 1));
    cubeAt<O>(cube, vclamp<O>(colour[0], 0.0f, 1.0f) * top, vclamp<O>(colour[1], 0.0f, 1.0f) * top,
              vclamp<O>(colour[2], 0.0f, 1.0f) * top, colour);
}

// Reads at 8-bit colours through CubeLevelTables: integer weights summing
// to 255 times a corner's value less 32768 sum to 2^14 times 255 v less
// 255, so one rounding shift gives the level round(255 v) exactly.
static_assert(kCubeStep == 1.0f / 16384.0f && kCubeOffset == 1.0f, "levels from 2^14 steps");
constexpr int kCubeLevelShift = 14;
constexpr int32_t kCubeLevelRound = (1 << (kCubeLevelShift - 1)) + (255 << kCubeLevelShift);

// The same reads in float lanes: the path at 8-bit levels r8, g8, b8, its
// fractions in whole levels, and the levels the cube gives along it, all
// sums of integers below 2^24 and so exact.
template <class O>
KELVO_CPU_INLINE CubePath<O> cubeLevelPath(const ColorCubeView& cube, const CubeLevelTables& t,
                                           typename O::F r8, typename O::F g8,
                                           typename O::F b8) {
    using F = typename O::F;
    const int32_t n = cube.size;
    // floor(level / step) for every level 0..255, the top level in the last cell.
    const F scale = O::set(static_cast<float>(n - 1) / 255.0f);
    const F last = O::set(static_cast<float>(n - 2));
    const F step = O::set(static_cast<float>(t.step));
    const F ir = O::cvtf(O::cvtt(O::min(r8 * scale, last)));
    const F ig = O::cvtf(O::cvtt(O::min(g8 * scale, last)));
    const F ib = O::cvtf(O::cvtt(O::min(b8 * scale, last)));
    const F nf = O::set(static_cast<float>(n));
    CubePath<O> path;
    path.corner[0] = O::cvtt(ir + nf * (ig + nf * ib));
    path.f1 = r8 - ir * step, path.f2 = g8 - ig * step, path.f3 = b8 - ib * step;
    cubeStepInOrder<O>(n, path);
    return path;
}

template <class O>
KELVO_CPU_INLINE void cubeLevelRead(const ColorCubeView& cube, const CubeLevelTables& t,
                                    const CubePath<O>& path, typename O::I out[3],
                                    typename O::I& marked) {
    using F = typename O::F;
    F c0[3], c1[3], c2[3], c3[3];
    cubeCorners<O>(cube, path, c0, c1, c2, c3, marked);
    // step x the interpolated value in 2^14 steps, times 255 / step: 2^14
    // times (255 v + 255); less 255 and rounded.
    const F step = O::set(static_cast<float>(t.step));
    const F unit = O::set(static_cast<float>(255 / t.step) / 16384.0f);
    const F offset = O::set(254.5f);
    for (int c = 0; c < 3; ++c) {
        const F v = (c0[c] - O::set(8388608.0f)) * step + path.f1 * (c1[c] - c0[c]) +
                    path.f2 * (c2[c] - c1[c]) + path.f3 * (c3[c] - c2[c]);
        // Truncation is the floor where it matters: below 0 the store clamps.
        out[c] = O::cvtt(v * unit - offset);
    }
}

// The four corners (grid indices) an 8-bit colour reads; returns its corner
// code.
KELVO_CPU_INLINE uint32_t cubeLevelCorners(const CubeLevelTables& t, const uint8_t* px,
                                           uint32_t at[4]) {
    const uint32_t s = t.axis[0][px[0]] + t.axis[1][px[1]] + t.axis[2][px[2]];
    const uint32_t code = s >> CubeLevelTables::kCodeShift;
    const CubeLevelTables::Corners& k = t.corners[code];
    at[0] = s & CubeLevelTables::kCellMask;
    at[1] = at[0] + static_cast<uint32_t>(k.d1);
    at[2] = at[1] + static_cast<uint32_t>(k.d2);
    at[3] = at[0] + t.diagonal;
    return code;
}

// The RGBA8 colour (alpha 255) the cube gives at the corners, one channel
// at a time as the portable rows go.
KELVO_CPU_INLINE uint32_t cubeLevelPixel(const ColorCubeView& cube, const CubeLevelTables& t,
                                         const uint32_t at[4], uint32_t code) {
    const int16_t* w = t.corners[code].w;
    uint32_t out = 0xff000000u;
    for (int c = 0; c < 3; ++c) {
        int32_t sum = kCubeLevelRound;
        for (int k = 0; k < 4; ++k) {
            const int32_t value = static_cast<int32_t>(cube.entries[at[k]] >> (16 * c) & 0xffff);
            sum += w[k] * (value - 32768);
        }
        const int32_t level = sum >> kCubeLevelShift;
        out |= static_cast<uint32_t>(level < 0 ? 0 : level > 255 ? 255 : level) << (8 * c);
    }
    return out;
}

}  // namespace
}  // namespace video
}  // namespace kelvo
