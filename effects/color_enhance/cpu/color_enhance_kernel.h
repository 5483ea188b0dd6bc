// The colour-enhancement row, written once over the lane operations of
// vec.h. Included by the portable, SSE2 and AVX2 row files only.
#pragma once

#include <cmath>
#include <cstring>

#include "effects/color_enhance/cpu/color_enhance_rows.h"
#include "cpu/colour_cube_kernel.h"
#include "cpu/vec.h"

namespace kelvo {
namespace video {
namespace {

// Cube root for n > 0.008856 (the range Lab uses it in): a bit-pattern first
// guess, then two Halley steps (cubic convergence), which reach float
// precision from it with one division each.
template <class O>
KELVO_CPU_INLINE typename O::F cubeRoot(typename O::F n) {
    using F = typename O::F;
    F guess = O::fromBits(O::addi(O::cvtt(O::cvtf(O::bits(n)) * O::set(1.0f / 3.0f)),
                                  O::seti(709921077)));
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
    F tx = s * O::set(512.0f) - O::set(0.5f);
    F ty = t * O::set(512.0f) - O::set(0.5f);
    F x0f = vfloor<O>(tx), y0f = vfloor<O>(ty);
    F fx = tx - x0f, fy = ty - y0f;
    I x0 = O::cvtt(vclamp<O>(x0f, 0.0f, 511.0f));
    I y0 = O::cvtt(vclamp<O>(y0f, 0.0f, 511.0f));
    I quad = O::gatheri(reinterpret_cast<const int32_t*>(skin), O::addi(O::template slli<9>(y0), x0));
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
KELVO_CPU_INLINE void skinTile(typename O::F level, typename O::F r, typename O::F g, typename O::F& s,
              typename O::F& t) {
    typename O::F qy = vfloor<O>(level * O::set(0.125f));
    typename O::F qx = level - qy * O::set(8.0f);
    s = qx * O::set(0.125f) + O::set(0.0009766f) + O::set(0.123047f) * r;
    t = qy * O::set(0.125f) + O::set(0.0009766f) + O::set(0.123047f) * g;
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
    return O::select(O::gt(n, O::set(0.008856f)), cubeRoot<O>(O::max(n, O::set(0.008856f))),
                     O::set(7.787f) * n + O::set(0.137931f));
}

template <class O>
KELVO_CPU_INLINE typename O::F labInverse(typename O::F f) {
    return O::select(O::gt(f, O::set(0.206897f)), f * f * f,
                     f * O::set(0.128419f) - O::set(0.017713f));
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
    F X = lr * O::set(0.4124f) + lg * O::set(0.3576f) + lb * O::set(0.1805f);
    F Y = lr * O::set(0.2126f) + lg * O::set(0.7152f) + lb * O::set(0.0722f);
    F Z = lr * O::set(0.0193f) + lg * O::set(0.1192f) + lb * O::set(0.9505f);
    F vx = labForward<O>(X * O::set(0.010521f));
    F vy = labForward<O>(Y * O::set(0.01f));
    F vz = labForward<O>(Z * O::set(0.009184f));
    F L = vclamp<O>((O::set(116.0f) * vy - O::set(16.0f)) * O::set(0.01f), 0.0f, 1.0f);
    F A = vclamp<O>(O::set(0.5f) + O::set(0.003937f) * (O::set(500.0f) * (vx - vy)), 0.0f, 1.0f);
    F B = vclamp<O>(O::set(0.5f) + O::set(0.003937f) * (O::set(200.0f) * (vy - vz)), 0.0f, 1.0f);

    F skin = O::set(0.0f);
    if (p.skin) {
        F blue = b * O::set(63.0f);
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
    F a = A * O::set(255.0f) - O::set(128.0f);
    F bb = B * O::set(255.0f) - O::set(128.0f);
    F c = O::sqrt(a * a + bb * bb);
    F u = vclamp<O>(c / O::set(p.maxRange), 0.0f, 1.0f);
    F low = O::set(p.lowChromaGain) * (u * u * O::sqrt(u));
    F high = (O::set(1.0f) - u) * u;
    F delta = O::select(O::le(u, O::set(p.threshold)), low, high);
    F cNew = c + delta * O::set(p.colorStep) * (O::set(1.0f) - skin * O::set(p.suppress));
    auto nonzero = O::ne(c, O::set(0.0f));
    F absA = O::max(a, O::set(0.0f) - a), absB = O::max(bb, O::set(0.0f) - bb);
    // min(127 / |a|, 127 / |b|) is 127 / max(|a|, |b|) bit for bit: a
    // correctly rounded division is monotonic.
    F scale = O::set(127.0f) / O::max(O::max(absA, absB), O::set(1e-6f));
    scale = O::min(O::max(scale, O::set(0.0f)), cNew / O::select(nonzero, c, O::set(1.0f)));
    scale = O::select(nonzero, scale, O::set(1.0f));
    a = a * scale;
    bb = bb * scale;
    A = vclamp<O>(O::set(0.003922f) * a + O::set(0.501961f), 0.0f, 1.0f);
    B = vclamp<O>(O::set(0.003922f) * bb + O::set(0.501961f), 0.0f, 1.0f);

    // Back: Lab to XYZ to linear RGB, encoded straight to 8-bit levels.
    F fy = O::set(0.008621f) * (O::set(100.0f) * L) + O::set(0.137931f);
    F fx = O::set(0.002f) * (O::set(254.0f) * A - O::set(127.0f)) + fy;
    F fz = fy - O::set(0.005f) * (O::set(254.0f) * B - O::set(127.0f));
    X = labInverse<O>(fx) * O::set(95.047f) * O::set(0.01f);
    Y = labInverse<O>(fy) * O::set(100.0f) * O::set(0.01f);
    Z = labInverse<O>(fz) * O::set(108.883f) * O::set(0.01f);
    R = X * O::set(3.2406f) + Y * O::set(-1.5372f) + Z * O::set(-0.4986f);
    G = X * O::set(-0.9689f) + Y * O::set(1.8758f) + Z * O::set(0.0415f);
    Bl = X * O::set(0.0557f) + Y * O::set(-0.2040f) + Z * O::set(1.0570f);
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
// level bounds; in float, close enough and quicker, for cubes.
template <typename T>
T unclippedEncoding(float v) {
    const float a = __builtin_fabsf(v);
    const T x = a <= 0.0031308f ? T(12.92) * a : T(1.055) * std::pow(static_cast<T>(a), T(0.416667)) - T(0.055);
    return v < 0.0f ? -x : x;
}

template <class O>
void colorEnhanceEncodedRow(const uint8_t* src, float* dst, int width, const ColorEnhanceRowParams& p) {
    int x = 0;
    for (; x + O::N <= width; x += O::N) {
        typename O::F r8, g8, b8, linear[3];
        O::loadRGB(src + 4 * x, r8, g8, b8);
        colorEnhanceLinear<O>(r8, g8, b8, p, linear[0], linear[1], linear[2]);
        float lanes[3][O::N];
        for (int c = 0; c < 3; ++c) O::storef(lanes[c], linear[c]);
        for (int i = 0; i < O::N; ++i) {
            for (int c = 0; c < 3; ++c) dst[3 * (x + i) + c] = unclippedEncoding<float>(lanes[c][i]);
        }
    }
    if (x < width) colorEnhanceEncodedRow<ScalarOps>(src + 4 * x, dst + 3 * x, width - x, p);
}

// The remembered colours of the pixels (r8, g8, b8) in lanes `has`, whose
// cell has number n > 0: entries of block n - 1, the offsets within the cell found as
// the cube read found the cell (`scale` as it took it). All in floats
// holding integers below 2^24.
template <class O>
KELVO_CPU_INLINE typename O::I colorEnhanceBlockColours(const ColourCubeView& cube, typename O::F scale,
                                                        const uint32_t* blocks, typename O::I number,
                                                        typename O::M has, typename O::F r8, typename O::F g8,
                                                        typename O::F b8) {
    using F = typename O::F;
    const F last = O::set(static_cast<float>(cube.size - 2));
    auto offset = [&](F level) {
        return level - O::set(static_cast<float>(kColorBlockStep)) * O::cvtf(O::cvtt(O::min(level * scale, last)));
    };
    const F side = O::set(static_cast<float>(kColorBlockSide));
    const F index = (O::cvtf(number) - O::set(1.0f)) * O::set(static_cast<float>(kColorBlockColours)) +
                    (offset(b8) * side + offset(g8)) * side + offset(r8);
    return O::gatheri(reinterpret_cast<const int32_t*>(blocks), O::selecti(has, O::cvtt(index), O::seti(0)));
}

// The cube's colours for G vectors of pixels, their paths found before any
// is read so that the reads overlap. Pixels in marked cells take their
// remembered colour if the cell has one; the others are copied to `held`
// (their source, before dst may overwrite it) and their offsets to `at`;
// returns how many.
template <class O, int G>
KELVO_CPU_INLINE int colorEnhanceCubePixels(const ColourCubeView& cube, const uint32_t* blocks,
                                            const uint8_t* src, uint8_t* dst, int x, uint8_t* held, int* at) {
    using F = typename O::F;
    using I = typename O::I;
    const F scale = O::set(static_cast<float>(cube.size - 1) / 255.0f);
    CubePath<O> paths[G];
    for (int k = 0; k < G; ++k) {
        F r8, g8, b8;
        O::loadRGB(src + 4 * (x + k * O::N), r8, g8, b8);
        paths[k] = cubePath<O>(cube, r8 * scale, g8 * scale, b8 * scale);
    }
    F out[G][3];
    I marked[G];
    for (int k = 0; k < G; ++k) cubeRead<O>(cube, paths[k], out[k], marked[k]);
    int count = 0;
    for (int k = 0; k < G; ++k) {
        const int first = x + k * O::N;
        // A unorm8 write with the clamp left to the store: rounding is
        // monotonic, so values outside 0..1 still land outside 0..255.
        auto unorm8 = [](F v) { return O::cvtt(v * O::set(255.0f) + O::set(0.5f)); };
        I r = unorm8(out[k][0]), g = unorm8(out[k][1]), b = unorm8(out[k][2]);
        I exact = O::andi(marked[k], 1);
        if (blocks && O::anyi(exact)) {
            // The cell's number where it is marked, else 0.
            const I number = O::selecti(O::gti(exact, O::seti(0)), O::template srai<1>(marked[k]), O::seti(0));
            if (O::anyi(number)) {
                F r8, g8, b8;
                O::loadRGB(src + 4 * first, r8, g8, b8);
                const auto has = O::gti(number, O::seti(0));
                const I colour = colorEnhanceBlockColours<O>(cube, scale, blocks, number, has, r8, g8, b8);
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

// The cube row: the cube where it follows the function closely, elsewhere
// remembered colours or the exact row, run over just those pixels gathered
// together so that a vector's few marked lanes do not cost the exact row for
// all of its lanes.
template <class O>
void colorEnhanceCubeRow(const ColourCubeView& cube, const uint32_t* blocks, const uint8_t* src, uint8_t* dst,
                         int width, const ColorEnhanceRowParams& p) {
    constexpr int kSpan = 256;
    constexpr int kGroup = 4;
    static_assert(kSpan % (kGroup * O::N) == 0, "spans hold whole groups");
    uint8_t held[4 * kSpan];
    int at[kSpan];
    for (int x = 0; x < width;) {
        const int end = width - x < kSpan ? width : x + kSpan;
        int count = 0;
        for (; x + kGroup * O::N <= end; x += kGroup * O::N) {
            count += colorEnhanceCubePixels<O, kGroup>(cube, blocks, src, dst, x, held + 4 * count, at + count);
        }
        for (; x + O::N <= end; x += O::N) {
            count += colorEnhanceCubePixels<O, 1>(cube, blocks, src, dst, x, held + 4 * count, at + count);
        }
        for (; x < end; ++x) {
            count += colorEnhanceCubePixels<ScalarOps, 1>(cube, blocks, src, dst, x, held + 4 * count, at + count);
        }
        if (count == 0) continue;
        colorEnhanceRow<O>(held, held, count, p);
        for (int i = 0; i < count; ++i) std::memcpy(dst + 4 * at[i], held + 4 * i, 4);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
