// The colour-enhancement row, written once over the lane operations of
// vec.h. Included by the portable and instruction-set row files only.
#pragma once

#include <cmath>
#include <cstring>
#include <type_traits>

#include "effects/color_enhance/cpu/color_enhance_rows.h"
#include "cpu/color_cube_kernel.h"
#include "cpu/vec.h"
#include "effects/color_enhance/color_enhance_model.h"
#include "effects/lut_loader.h"
#include "system/portable_math.h"

namespace kelvo {
namespace video {
namespace {

// Cube root for n > kLabKnee (the range Lab uses it in): a bit-pattern first
// guess, then two Halley steps (cubic convergence), which reach float
// precision from it with one division each.
template <class O>
KELVO_CPU_INLINE typename O::F cubeRoot(typename O::F n) {
    using F = typename O::F;
    F guess = O::fromBits(
        O::addi(O::cvtt(O::cvtf(O::bits(n)) * O::set(1.0f / 3.0f)), O::seti(709921077)));
    F y = guess;
    for (int i = 0; i < 2; ++i) {
        F y3 = y * y * y;
        y = y * (y3 + n + n) / (y3 + y3 + n);
    }
    return y;
}

// Bilinear read of the skin table at a texture coordinate, edges clamped.
// Each entry holds its 2 x 2 neighbourhood, so one load serves the filter.
template <class O>
KELVO_CPU_INLINE typename O::F skinAt(const uint32_t* skin, typename O::F s, typename O::F t) {
    using F = typename O::F;
    using I = typename O::I;
    constexpr float size = static_cast<float>(kLutImageSize);
    F tx = s * O::set(size) - O::set(0.5f);
    F ty = t * O::set(size) - O::set(0.5f);
    F x0f = vfloor<O>(tx), y0f = vfloor<O>(ty);
    F fx = tx - x0f, fy = ty - y0f;
    I x0 = O::cvtt(vclamp<O>(x0f, 0.0f, 511.0f));
    I y0 = O::cvtt(vclamp<O>(y0f, 0.0f, 511.0f));
    I quad =
        O::gatheri(reinterpret_cast<const int32_t*>(skin), O::addi(O::template slli<9>(y0), x0));
    F t00 = O::cvtf(O::andi(quad, 0xff));
    F t01 = O::cvtf(O::andi(O::template srai<8>(quad), 0xff));
    F t10 = O::cvtf(O::andi(O::template srai<16>(quad), 0xff));
    F t11 = O::cvtf(O::andi(O::template srai<24>(quad), 0xff));
    F top = t00 + (t01 - t00) * fx;
    F bottom = t10 + (t11 - t10) * fx;
    return (top + (bottom - top) * fy) * O::set(1.0f / 255.0f);
}

// The table's address for one blue level: tile (level mod 8, level div 8).
template <class O>
KELVO_CPU_INLINE void skinTile(typename O::F level, typename O::F r, typename O::F g,
                               typename O::F& s, typename O::F& t) {
    typename O::F qy = vfloor<O>(level * O::set(kLutTileSize));
    typename O::F qx = level - qy * O::set(static_cast<float>(kLutTilesPerRow));
    s = qx * O::set(kLutTileSize) + O::set(kSkinLutTexelCentre) + O::set(kSkinLutTileSpan) * r;
    t = qy * O::set(kLutTileSize) + O::set(kSkinLutTexelCentre) + O::set(kSkinLutTileSpan) * g;
}

template <class O>
KELVO_CPU_INLINE typename O::I encode(typename O::F v, const ColorEnhanceTables& tables) {
    using I = typename O::I;
    v = vclamp<O>(v, 0.0f, 1.0f);
    I j = O::cvtt(O::min(v * O::set(static_cast<float>(kEncodeBins)),
                         O::set(static_cast<float>(kEncodeBins - 1))));
    I entry = O::gatheri(tables.encode, j);
    I base = O::andi(entry, 0xff);
    I threshold = O::template srai<8>(entry);
    I fixed = O::cvtt(v * O::set(static_cast<float>(kEncodeOne)));
    // fixed >= threshold steps up one level.
    return O::addi(base, O::selecti(O::gti(threshold, fixed), O::seti(0), O::seti(1)));
}

template <class O>
KELVO_CPU_INLINE typename O::F labForward(typename O::F n) {
    return O::select(O::gt(n, O::set(kLabKnee)), cubeRoot<O>(O::max(n, O::set(kLabKnee))),
                     O::set(kLabSlope) * n + O::set(kLabOffset));
}

template <class O>
KELVO_CPU_INLINE typename O::F labInverse(typename O::F f) {
    return O::select(O::gt(f, O::set(kLabInverseKnee)), f * f * f,
                     f * O::set(kLabInverseSlope) - O::set(kLabInverseOffset));
}

// The pass up to its output encoding: linear R, G, B of 8-bit levels r8, g8, b8.
template <class O>
KELVO_CPU_INLINE void colorEnhanceLinear(typename O::F r8, typename O::F g8, typename O::F b8,
                                         const ColorEnhanceRowParams& p, typename O::F& R,
                                         typename O::F& G, typename O::F& Bl) {
    using F = typename O::F;
    const F inv255 = O::set(1.0f / 255.0f);
    F r = r8 * inv255, g = g8 * inv255, b = b8 * inv255;

    // Forward: linear light (table), XYZ, Lab scaled to 0..1.
    F lr = O::gather(p.tables.linear, O::cvtt(r8));
    F lg = O::gather(p.tables.linear, O::cvtt(g8));
    F lb = O::gather(p.tables.linear, O::cvtt(b8));
    F X = lr * O::set(kXyzFromRgb[0]) + lg * O::set(kXyzFromRgb[1]) + lb * O::set(kXyzFromRgb[2]);
    F Y = lr * O::set(kXyzFromRgb[3]) + lg * O::set(kXyzFromRgb[4]) + lb * O::set(kXyzFromRgb[5]);
    F Z = lr * O::set(kXyzFromRgb[6]) + lg * O::set(kXyzFromRgb[7]) + lb * O::set(kXyzFromRgb[8]);
    F vx = labForward<O>(X * O::set(kLabWhiteInverse[0]));
    F vy = labForward<O>(Y * O::set(kLabWhiteInverse[1]));
    F vz = labForward<O>(Z * O::set(kLabWhiteInverse[2]));
    F L = vclamp<O>(
        (O::set(kLabLightnessScale) * vy - O::set(kLabLightnessOffset)) * O::set(kLabPackLightness),
        0.0f, 1.0f);
    F A = vclamp<O>(O::set(kLabPackCentre) + O::set(kLabPackAb) * (O::set(kLabAScale) * (vx - vy)),
                    0.0f, 1.0f);
    F B = vclamp<O>(O::set(kLabPackCentre) + O::set(kLabPackAb) * (O::set(kLabBScale) * (vy - vz)),
                    0.0f, 1.0f);

    F skin = O::set(0.0f);
    if (p.skin) {
        F blue = b * O::set(kLutTopLevel);
        F lo = vfloor<O>(blue);
        F hi = O::select(O::gt(blue, lo), lo + O::set(1.0f), lo);
        F s1, t1, s2, t2;
        skinTile<O>(lo, r, g, s1, t1);
        skinTile<O>(hi, r, g, s2, t2);
        F w1 = skinAt<O>(p.skin, s1, t1), w2 = skinAt<O>(p.skin, s2, t2);
        F f = blue - lo;
        skin = w1 * (O::set(1.0f) - f) + w2 * f;
    }

    // Chroma boost.
    F a = A * O::set(kLabStepScale) - O::set(kLabStepCentre);
    F bb = B * O::set(kLabStepScale) - O::set(kLabStepCentre);
    F c = O::sqrt(a * a + bb * bb);
    F u = vclamp<O>(c / O::set(p.maxRange), 0.0f, 1.0f);
    static_assert(kColorEnhanceGamma == 2.5, "u^gamma below is u u sqrt(u)");
    F low = O::set(p.lowChromaGain) * (u * u * O::sqrt(u));
    F high = (O::set(1.0f) - u) * u;
    F delta = O::select(O::le(u, O::set(p.threshold)), low, high);
    F cNew = c + delta * O::set(p.colorStep) * (O::set(1.0f) - skin * O::set(p.suppress));
    auto nonzero = O::ne(c, O::set(0.0f));
    F absA = O::max(a, O::set(0.0f) - a), absB = O::max(bb, O::set(0.0f) - bb);
    // min(127 / |a|, 127 / |b|) is 127 / max(|a|, |b|) bit for bit: a
    // correctly rounded division is monotonic.
    F scale = O::set(kLabAbLimit) / O::max(O::max(absA, absB), O::set(kLabAbFloor));
    scale = O::min(O::max(scale, O::set(0.0f)), cNew / O::select(nonzero, c, O::set(1.0f)));
    scale = O::select(nonzero, scale, O::set(1.0f));
    a = a * scale;
    bb = bb * scale;
    A = vclamp<O>(O::set(kLabStepRepack) * a + O::set(kLabStepRepackCentre), 0.0f, 1.0f);
    B = vclamp<O>(O::set(kLabStepRepack) * bb + O::set(kLabStepRepackCentre), 0.0f, 1.0f);

    // Back: Lab to XYZ to linear RGB, encoded straight to 8-bit levels.
    F fy = O::set(kLabInverseLightness) * (O::set(kLabUnpackLightness) * L) + O::set(kLabOffset);
    F fx = O::set(kLabInverseA) * (O::set(kLabUnpackAb) * A - O::set(kLabAbLimit)) + fy;
    F fz = fy - O::set(kLabInverseB) * (O::set(kLabUnpackAb) * B - O::set(kLabAbLimit));
    X = labInverse<O>(fx) * O::set(kLabWhite[0]) * O::set(kXyzUnscale);
    Y = labInverse<O>(fy) * O::set(kLabWhite[1]) * O::set(kXyzUnscale);
    Z = labInverse<O>(fz) * O::set(kLabWhite[2]) * O::set(kXyzUnscale);
    R = X * O::set(kRgbFromXyz[0]) + Y * O::set(kRgbFromXyz[1]) + Z * O::set(kRgbFromXyz[2]);
    G = X * O::set(kRgbFromXyz[3]) + Y * O::set(kRgbFromXyz[4]) + Z * O::set(kRgbFromXyz[5]);
    Bl = X * O::set(kRgbFromXyz[6]) + Y * O::set(kRgbFromXyz[7]) + Z * O::set(kRgbFromXyz[8]);
}

template <class O>
void colorEnhancePixels(const uint8_t* src, uint8_t* dst, const ColorEnhanceRowParams& p) {
    typename O::F r8, g8, b8, R, G, Bl;
    O::loadRGB(src, r8, g8, b8);
    colorEnhanceLinear<O>(r8, g8, b8, p, R, G, Bl);
    O::storeRGBA(dst, encode<O>(R, p.tables), encode<O>(G, p.tables), encode<O>(Bl, p.tables));
}

template <class O>
void colorEnhanceRow(const uint8_t* src, uint8_t* dst, int width, const ColorEnhanceRowParams& p) {
    int x = 0;
    for (; x + O::N <= width; x += O::N) {
        colorEnhancePixels<O>(src + 4 * x, dst + 4 * x, p);
    }
    for (; x < width; ++x) {
        colorEnhancePixels<ScalarOps>(src + 4 * x, dst + 4 * x, p);
    }
}

// The sRGB-style encoding of the shader for linear value v, before it is
// clamped; negative values mirror positive ones. In double for the tables'
// level bounds; rounded to float for cubes.
template <typename T>
T unclippedEncoding(float v) {
    const float a = __builtin_fabsf(v);
    const T x = a <= kSrgbEncodeKnee
                    ? T(kSrgbEncodeSlope) * a
                    : T(kSrgbEncodeScale) * static_cast<T>(portable_math::pow(
                                                static_cast<double>(a),
                                                static_cast<double>(T(kSrgbEncodeExponent)))) -
                          T(kSrgbEncodeOffset);
    return v < 0.0f ? -x : x;
}

template <class O>
void colorEnhanceEncodedRow(const uint8_t* src, float* dst, int width,
                            const ColorEnhanceRowParams& p) {
    int x = 0;
    for (; x + O::N <= width; x += O::N) {
        typename O::F r8, g8, b8, linear[3];
        O::loadRGB(src + 4 * x, r8, g8, b8);
        colorEnhanceLinear<O>(r8, g8, b8, p, linear[0], linear[1], linear[2]);
        float lanes[3][O::N];
        for (int c = 0; c < 3; ++c) O::storef(lanes[c], linear[c]);
        for (int i = 0; i < O::N; ++i) {
            for (int c = 0; c < 3; ++c)
                dst[3 * (x + i) + c] = unclippedEncoding<float>(lanes[c][i]);
        }
    }
    if (x < width) colorEnhanceEncodedRow<ScalarOps>(src + 4 * x, dst + 3 * x, width - x, p);
}

// The remembered colours of the pixels (r8, g8, b8) in lanes `has`, whose
// cell has number n > 0: entries of block n - 1, the offsets within the cell found as
// the cube read found the cell (`scale` as it took it). All in floats
// holding integers below 2^24.
template <class O>
KELVO_CPU_INLINE typename O::I colorEnhanceBlockColors(const ColorCubeView& cube,
                                                        typename O::F scale, const uint32_t* blocks,
                                                        typename O::I number, typename O::M has,
                                                        typename O::F r8, typename O::F g8,
                                                        typename O::F b8) {
    using F = typename O::F;
    const F last = O::set(static_cast<float>(cube.size - 2));
    auto offset = [&](F level) {
        return level - O::set(static_cast<float>(kColorBlockStep)) *
                           O::cvtf(O::cvtt(O::min(level * scale, last)));
    };
    const F side = O::set(static_cast<float>(kColorBlockSide));
    const F index =
        (O::cvtf(number) - O::set(1.0f)) * O::set(static_cast<float>(kColorBlockColors)) +
        (offset(b8) * side + offset(g8)) * side + offset(r8);
    return O::gatheri(reinterpret_cast<const int32_t*>(blocks),
                      O::selecti(has, O::cvtt(index), O::seti(0)));
}

// The cube's colours for G vectors of pixels, their paths found before any
// is read so that the reads overlap. Pixels in marked cells take their
// remembered colour if the cell has one; the others are copied to `held`
// (their source, before dst may overwrite it) and their offsets to `at`;
// returns how many.
template <class O, int G, bool kLevels>
KELVO_CPU_INLINE int colorEnhanceCubePixels(const ColorCubeView& cube, const CubeLevelTables* levels,
                                            const uint32_t* blocks, const uint8_t* src,
                                            uint8_t* dst, int x, uint8_t* held, int* at) {
    using F = typename O::F;
    using I = typename O::I;
    const F scale = O::set(static_cast<float>(cube.size - 1) / 255.0f);
    CubePath<O> paths[G];
    for (int k = 0; k < G; ++k) {
        F r8, g8, b8;
        O::loadRGB(src + 4 * (x + k * O::N), r8, g8, b8);
        paths[k] = kLevels ? cubeLevelPath<O>(cube, *levels, r8, g8, b8)
                          : cubePath<O>(cube, r8 * scale, g8 * scale, b8 * scale);
    }
    I out[G][3];
    I marked[G];
    for (int k = 0; k < G; ++k) {
        if constexpr (kLevels) {
            cubeLevelRead<O>(cube, *levels, paths[k], out[k], marked[k]);
            continue;
        }
        F v[3];
        cubeRead<O>(cube, paths[k], v, marked[k]);
        // A unorm8 write with the clamp left to the store: rounding is
        // monotonic, so values outside 0..1 still land outside 0..255.
        for (int c = 0; c < 3; ++c) out[k][c] = O::cvtt(v[c] * O::set(255.0f) + O::set(0.5f));
    }
    int count = 0;
    for (int k = 0; k < G; ++k) {
        const int first = x + k * O::N;
        I r = out[k][0], g = out[k][1], b = out[k][2];
        I exact = O::andi(marked[k], 1);
        if (blocks && O::anyi(exact)) {
            // The cell's number where it is marked, else 0.
            const I number =
                O::selecti(O::gti(exact, O::seti(0)), O::template srai<1>(marked[k]), O::seti(0));
            if (O::anyi(number)) {
                F r8, g8, b8;
                O::loadRGB(src + 4 * first, r8, g8, b8);
                const auto has = O::gti(number, O::seti(0));
                const I colour =
                    colorEnhanceBlockColors<O>(cube, scale, blocks, number, has, r8, g8, b8);
                r = O::selecti(has, O::andi(colour, 0xff), r);
                g = O::selecti(has, O::andi(O::template srai<8>(colour), 0xff), g);
                b = O::selecti(has, O::andi(O::template srai<16>(colour), 0xff), b);
                exact = O::selecti(has, O::seti(0), exact);
            }
        }
        if (O::anyi(exact)) {
            float lanes[O::N];
            O::storef(lanes, O::cvtf(exact));
            for (int i = 0; i < O::N; ++i) {
                if (lanes[i] == 0.0f) continue;
                std::memcpy(held + 4 * count, src + 4 * (first + i), 4);
                at[count++] = first + i;
            }
        }
        O::storeRGBAClamped(dst + 4 * first, r, g, b);
    }
    return count;
}

// For colorEnhanceCubeRow's O16: the reads at 8-bit colours in the float
// lanes of O (the same bytes; where gathers are cheap, as on AVX2).
struct CubeLevelsInFloatLanes {};

// One pixel of the cube row at 8-bit colours (see colorEnhanceLevelRow).
// Returns 1 when the pixel is left to the exact row, copied to `held`.
KELVO_CPU_INLINE int colorEnhanceLevelPixel(const ColorCubeView& cube, const CubeLevelTables& t,
                                            const uint32_t* blocks, const uint8_t* src,
                                            uint8_t* dst, int x, uint8_t* held, int* at) {
    uint32_t corners[4];
    const uint32_t code = cubeLevelCorners(t, src + 4 * x, corners);
    const uint64_t first = cube.entries[corners[0]];
    if (first >> 48 & 1) {
        const uint32_t number = static_cast<uint32_t>(first >> 49);
        if (blocks && number) {
            const uint32_t colour = blocks[(number - 1) * kColorBlockColors + code] | 0xff000000u;
            std::memcpy(dst + 4 * x, &colour, 4);
            return 0;
        }
        std::memcpy(held, src + 4 * x, 4);
        *at = x;
        return 1;
    }
    const uint32_t colour = cubeLevelPixel(cube, t, corners, code);
    std::memcpy(dst + 4 * x, &colour, 4);
    return 0;
}

// 4 N / 8 pixels of the cube row in the 16-bit lanes of O16: corners found
// one pixel at a time (table reads), the four corners' values weighted in
// pairs by multiply-adds. Pixels in marked cells as colorEnhanceLevelPixel.
template <class O16>
KELVO_CPU_INLINE int colorEnhanceLevelGroup(const ColorCubeView& cube, const CubeLevelTables& t,
                                            const uint32_t* blocks, const uint8_t* src,
                                            uint8_t* dst, int x, uint8_t* held, int* at) {
    constexpr int P = O16::N / 8, G = 4 * P;
    uint32_t corners[4][G], codes[G];
    int32_t weights[2][G];
    uint32_t marks = 0;
    for (int q = 0; q < G; ++q) {
        uint32_t c[4];
        codes[q] = cubeLevelCorners(t, src + 4 * (x + q), c);
        for (int k = 0; k < 4; ++k) corners[k][q] = c[k];
        std::memcpy(&weights[0][q], t.corners[codes[q]].w, 4);
        std::memcpy(&weights[1][q], t.corners[codes[q]].w + 2, 4);
        marks |= static_cast<uint32_t>(cube.entries[c[0]] >> 48 & 1) << q;
    }
    typename O16::V sums[4];
    for (int v = 0; v < 4; ++v) {
        const int i = v * P;
        const auto near = O16::madd(O16::cubePairs(cube.entries, corners[0] + i, corners[1] + i),
                                    O16::repeat32(weights[0] + i));
        const auto far = O16::madd(O16::cubePairs(cube.entries, corners[2] + i, corners[3] + i),
                                   O16::repeat32(weights[1] + i));
        sums[v] = O16::template srai32<kCubeLevelShift>(
            O16::add32(O16::add32(near, far), O16::set32(kCubeLevelRound)));
    }
    int count = 0;
    uint32_t remembered = 0;
    // Before the store: src may be dst.
    for (uint32_t m = marks; m; m &= m - 1) {
        const int q = __builtin_ctz(m);
        if (blocks && cube.entries[corners[0][q]] >> 49) {
            remembered |= 1u << q;
            continue;
        }
        std::memcpy(held + 4 * count, src + 4 * (x + q), 4);
        at[count++] = x + q;
    }
    // The fourth lane of each pixel sums the entries' marks: alpha is 255.
    alignas(32) static const uint8_t kAlpha[32] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255,
                                                   0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255,
                                                   0, 0, 0, 255, 0, 0, 0, 255};
    static_assert(2 * O16::N <= 32, "the alpha mask covers a byte vector");
    O16::storeU8(dst + 4 * x, O16::select8(O16::loadU8(kAlpha), O16::set8(255),
                                           O16::narrowU8x4(sums[0], sums[1], sums[2], sums[3])));
    for (uint32_t m = remembered; m; m &= m - 1) {
        const int q = __builtin_ctz(m);
        const uint32_t number = static_cast<uint32_t>(cube.entries[corners[0][q]] >> 49);
        const uint32_t colour = blocks[(number - 1) * kColorBlockColors + codes[q]] | 0xff000000u;
        std::memcpy(dst + 4 * (x + q), &colour, 4);
    }
    return count;
}

// The cube row on the colour cube, whose grid lies every kColorBlockStep
// levels: exact integer reads, so every row set gives the same bytes by
// construction; O16 (a set of cpu/lanes.h's cube pairs, or void for the
// portable row) reads groups of pixels, O runs the exact row.
template <class O, class O16>
void colorEnhanceLevelRow(const ColorCubeView& cube, const CubeLevelTables& t,
                          const uint32_t* blocks, const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p) {
    constexpr int kSpan = 256;
    uint8_t held[4 * kSpan];
    int at[kSpan];
    for (int x = 0; x < width;) {
        const int end = width - x < kSpan ? width : x + kSpan;
        int count = 0;
        if constexpr (!std::is_void<O16>::value) {
            constexpr int G = O16::N / 2;
            static_assert(kSpan % G == 0, "spans hold whole groups");
            for (; x + G <= end; x += G) {
                count += colorEnhanceLevelGroup<O16>(cube, t, blocks, src, dst, x,
                                                     held + 4 * count, at + count);
            }
        }
        for (; x < end; ++x) {
            count += colorEnhanceLevelPixel(cube, t, blocks, src, dst, x, held + 4 * count,
                                            at + count);
        }
        if (count == 0) continue;
        colorEnhanceRow<O>(held, held, count, p);
        for (int i = 0; i < count; ++i) std::memcpy(dst + 4 * at[i], held + 4 * i, 4);
    }
}

// The cube row: the cube where it follows the function closely, elsewhere
// remembered colours or the exact row, run over just those pixels gathered
// together so that a vector's few marked lanes do not cost the exact row for
// all of its lanes.
template <class O, bool kLevels>
void colorEnhanceFloatCubeRow(const ColorCubeView& cube, const CubeLevelTables* levels,
                              const uint32_t* blocks, const uint8_t* src, uint8_t* dst, int width,
                              const ColorEnhanceRowParams& p) {
    constexpr int kSpan = 256;
    // The exact reads' paths are cheaper: more of them in flight pays.
    constexpr int kGroup = kLevels ? 8 : 4;
    static_assert(kSpan % (kGroup * O::N) == 0, "spans hold whole groups");
    uint8_t held[4 * kSpan];
    int at[kSpan];
    for (int x = 0; x < width;) {
        const int end = width - x < kSpan ? width : x + kSpan;
        int count = 0;
        for (; x + kGroup * O::N <= end; x += kGroup * O::N) {
            count += colorEnhanceCubePixels<O, kGroup, kLevels>(cube, levels, blocks, src, dst, x,
                                                                held + 4 * count, at + count);
        }
        for (; x + O::N <= end; x += O::N) {
            count += colorEnhanceCubePixels<O, 1, kLevels>(cube, levels, blocks, src, dst, x,
                                                           held + 4 * count, at + count);
        }
        for (; x < end; ++x) {
            if constexpr (kLevels) {
                count += colorEnhanceLevelPixel(cube, *levels, blocks, src, dst, x,
                                                held + 4 * count, at + count);
            } else {
                count += colorEnhanceCubePixels<ScalarOps, 1, false>(
                    cube, levels, blocks, src, dst, x, held + 4 * count, at + count);
            }
        }
        if (count == 0) continue;
        colorEnhanceRow<O>(held, held, count, p);
        for (int i = 0; i < count; ++i) std::memcpy(dst + 4 * at[i], held + 4 * i, 4);
    }
}

// The colour cube (grid every kColorBlockStep levels) is read exactly at
// 8-bit colours, by O16's integer lanes or (CubeLevelsInFloatLanes) O's
// float ones; other cubes by float positions.
template <class O, class O16 = void>
void colorEnhanceCubeRow(const ColorCubeView& cube, const uint32_t* blocks, const uint8_t* src,
                         uint8_t* dst, int width, const ColorEnhanceRowParams& p) {
    const CubeLevelTables* levels = cubeLevelTables(cube.size);
    if (!levels || levels->step != kColorBlockStep) {
        colorEnhanceFloatCubeRow<O, false>(cube, nullptr, blocks, src, dst, width, p);
    } else if constexpr (std::is_same<O16, CubeLevelsInFloatLanes>::value) {
        colorEnhanceFloatCubeRow<O, true>(cube, levels, blocks, src, dst, width, p);
    } else {
        colorEnhanceLevelRow<O, O16>(cube, *levels, blocks, src, dst, width, p);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
