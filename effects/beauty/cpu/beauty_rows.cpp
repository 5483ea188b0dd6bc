#include "effects/beauty/cpu/beauty_rows.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "cpu/color_cube_kernel.h"
#include "cpu/vec.h"
#include "cpu/vec16.h"
#include "effects/beauty/cpu/beauty_rows_kernel.h"
#include "effects/beauty/beauty_model.h"
#include "effects/lut_loader.h"

namespace kelvo::video {
namespace {

// The driver's constant for 8-bit reads is the double 1/255 rounded to float.
const float kInv255 = static_cast<float>(1.0 / 255.0);

inline float texel(int v) { return static_cast<float>(v) * kInv255; }

inline int blend(int a, int b, uint32_t weights) {
    return static_cast<int>(((weights & 0xffffu) * a + (weights >> 16) * b + 128) >> 8);
}

// Two texels blended equally, as a read halfway between their centres.
inline int half(int a, int b) { return (a + b + 1) >> 1; }

// A shader mix(): the compiler lowers it to a + t * (b - a), unfused.
inline float lerp(float a, float b, float t) { return a + t * (b - a); }

// The sum of the nine reads of a half-size pass along a padded line at 0,
// -1.5, +1.5, -3, +3, ... texels; `at(d)` is the texel d steps away.
template <typename At>
inline int ninePointSum(At at) {
    auto mid = [&](int d) { return half(at(d), at(d + 1)); };
    return at(0) + mid(-2) + mid(1) + at(-3) + at(3) + mid(-5) + mid(4) + at(-6) + at(6);
}

// round(sum / 9) of such a sum.
inline uint8_t ninth(int sum) { return static_cast<uint8_t>((sum + 4) * kBeautyNinthFixed >> 16); }

struct Colour {
    float r, g, b;
};

// Cell index and packed weight of a table read at `pos` (texture units),
// clamped so that the cell gives what edge clamping reads.
inline void tableAxis(float pos, int* index, uint32_t* weights) {
    const int fixed = static_cast<int>(std::lrint(pos * kBeautyTableFixedScale)) - 128;
    const int i = fixed >> 8;
    const int f = fixed & 255;
    *index = (i < -1 ? -1 : (i > kBeautyTableSize - 1 ? kBeautyTableSize - 1 : i)) + 1;
    *weights = static_cast<uint32_t>(256 - f) | static_cast<uint32_t>(f) << 16;
}

inline void tableRead(const uint8_t* table, float x, float y, float out[3]) {
    int ix, iy;
    uint32_t wx, wy;
    tableAxis(x, &ix, &wx);
    tableAxis(y, &iy, &wy);
    const uint8_t* p =
        table + (static_cast<size_t>(iy) * kBeautyTableCells + ix) * kBeautyTableCellBytes;
    for (int c = 0; c < 3; ++c) {
        out[c] = texel(
            blend(blend(p[2 * c], p[2 * c + 1], wx), blend(p[6 + 2 * c], p[7 + 2 * c], wx), wy));
    }
}

inline Colour lutMix(Colour colour, const uint8_t* table, float amount) {
    const float blue = colour.b * kLutTopLevel;
    const float lo = std::floor(blue);
    const float hi = std::ceil(blue);
    constexpr float tiles = static_cast<float>(kLutTilesPerRow);
    const float q1y = std::floor(lo / tiles);
    const float q1x = lo - q1y * tiles;
    const float q2y = std::floor(hi / tiles);
    const float q2x = hi - q2y * tiles;
    const float rx = kLutTileSpan * colour.r;
    const float gy = kLutTileSpan * colour.g;
    float c1[3], c2[3];
    tableRead(table, (q1x * kLutTileSize + kLutTexelCentre) + rx,
              (q1y * kLutTileSize + kLutTexelCentre) + gy, c1);
    tableRead(table, (q2x * kLutTileSize + kLutTexelCentre) + rx,
              (q2y * kLutTileSize + kLutTexelCentre) + gy, c2);
    const float t = blue - lo;
    return {lerp(colour.r, lerp(c1[0], c2[0], t), amount),
            lerp(colour.g, lerp(c1[1], c2[1], t), amount),
            lerp(colour.b, lerp(c1[2], c2[2], t), amount)};
}

// One pixel as the pixel lanes of the mix use it: a float mask is a float
// with all bits set or none, as the vector compares give.
struct ScalarPixels {
    using I = int32_t;
    using F = float;
    using Ops = ScalarOps;
    using Weights = uint32_t;
    static constexpr int kLanes = 1;
    // Read only by `if constexpr`, which clang 14 does not count as a use.
    [[maybe_unused]] static constexpr bool kWindowPicks = false;
    [[maybe_unused]] static constexpr bool kRoundingMultiply = false;

    static uint32_t bits(F a) {
        uint32_t b;
        std::memcpy(&b, &a, sizeof b);
        return b;
    }
    static F fromBits(uint32_t b) {
        F a;
        std::memcpy(&a, &b, sizeof a);
        return a;
    }
    static F mask(bool m) { return fromBits(m ? ~0u : 0u); }

    static I load(const uint8_t* p) {
        I v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(uint8_t* p, I v) { std::memcpy(p, &v, sizeof v); }
    template <int K>
    static I byteLane(I a) {
        return static_cast<I>(static_cast<uint32_t>(a) >> (8 * K) & 255u);
    }
    static I set1(int v) { return v; }
    static F set1f(float v) { return v; }
    static I andi(I a, I b) { return a & b; }
    static I ori(I a, I b) { return a | b; }
    template <int N>
    static I srli(I a) {
        return static_cast<I>(static_cast<uint32_t>(a) >> N);
    }
    template <int N>
    static I slli(I a) {
        return static_cast<I>(static_cast<uint32_t>(a) << N);
    }
    // Integers apart: through float, a sum beyond 2^24 would round.
    static I add(I a, I b) { return a + b; }
    static F add(F a, F b) { return a + b; }
    static F sub(F a, F b) { return a - b; }
    static F mul(F a, F b) { return a * b; }
    static F div(F a, F b) { return a / b; }
    // As the vector instructions: the second operand where unordered.
    static F min(F a, F b) { return a < b ? a : b; }
    static F max(F a, F b) { return a > b ? a : b; }
    static F cmpgt(F a, F b) { return mask(a > b); }
    static F cmplt(F a, F b) { return mask(a < b); }
    static F cmpge(F a, F b) { return mask(a >= b); }
    static F cmple(F a, F b) { return mask(a <= b); }
    static F fand(F a, F b) { return fromBits(bits(a) & bits(b)); }
    static F fandnot(F a, F b) { return fromBits(~bits(a) & bits(b)); }
    static F select(F m, F a, F b) { return bits(m) ? a : b; }
    static bool noneSet(F m) { return bits(m) == 0; }
    static F toFloat(I a) { return static_cast<F>(a); }
    static I toIntRound(F a) { return static_cast<I>(std::lrint(a)); }
    static Weights uniformWeights(uint32_t w) { return w; }
    static I blend(I a, I b, Weights w) {
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c) {
            const int x = static_cast<int>(static_cast<uint32_t>(a) >> (8 * c) & 255u);
            const int y = static_cast<int>(static_cast<uint32_t>(b) >> (8 * c) & 255u);
            out |= static_cast<uint32_t>(kelvo::video::blend(x, y, w)) << (8 * c);
        }
        return static_cast<I>(out);
    }

    // The mix's 16-bit lanes: one pixel, one half.
    using Ops16 = ScalarOps16;
    static void floats16(int32_t a, F out[1]) { out[0] = static_cast<F>(a); }
    static int32_t ints16(I lo, I hi) { return Ops16::narrowS32(lo, hi); }
    static bool noneSet16(int32_t m) { return m == 0; }
};

}  // namespace

void beautyTableCells(const uint8_t* table, int stride, uint8_t* cells) {
    auto at = [&](int x, int y) {
        auto clamp = [](int i) {
            return i < 0 ? 0 : (i >= kBeautyTableSize ? kBeautyTableSize - 1 : i);
        };
        return table + static_cast<size_t>(clamp(y)) * stride + static_cast<size_t>(clamp(x)) * 4;
    };
    for (int y = -1; y < kBeautyTableSize; ++y) {
        for (int x = -1; x < kBeautyTableSize; ++x) {
            const uint8_t* texels[4] = {at(x, y), at(x + 1, y), at(x, y + 1), at(x + 1, y + 1)};
            for (int row = 0; row < 2; ++row) {
                for (int c = 0; c < 3; ++c) {
                    cells[row * 6 + 2 * c] = texels[row * 2][c];
                    cells[row * 6 + 2 * c + 1] = texels[row * 2 + 1][c];
                }
            }
            std::memset(cells + 12, 0, 4);
            cells += kBeautyTableCellBytes;
        }
    }
}

void BeautyDownsizeRow_C(const uint8_t* src, const int32_t* x0, const int32_t* x1,
                         const uint32_t* weights, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        const uint8_t* a = src + static_cast<size_t>(x0[i]) * 4;
        const uint8_t* b = src + static_cast<size_t>(x1[i]) * 4;
        for (int c = 0; c < 4; ++c)
            dst[i * 4 + c] = static_cast<uint8_t>(blend(a[c], b[c], weights[i]));
    }
}

void BeautyHalveRow_C(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width * 4; ++i)
        dst[i] = static_cast<uint8_t>(half(src[i + (i & ~3)], src[i + (i & ~3) + 4]));
}

void BeautyDoubleRow_C(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width * 4; ++i) {
        dst[i + (i & ~3)] = static_cast<uint8_t>(blend(src[i - 4], src[i], kBeautyQuarterBack));
        dst[i + (i & ~3) + 4] = static_cast<uint8_t>(blend(src[i], src[i + 4], kBeautyQuarterOn));
    }
}

void BeautyBlurRgbColumnRow_C(const BeautyColumnTaps& taps, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        for (int c = 0; c < 3; ++c) {
            const int j = i * 4 + c;
            int sum = 0;
            for (int k = 0; k < 9; ++k)
                sum += blend(taps.rows[2 * k][j], taps.rows[2 * k + 1][j], taps.weights[k]);
            dst[j] = ninth(sum);
        }
        dst[i * 4 + 3] = 255;
    }
}

void BeautySoften2Row_C(const uint8_t* blur, const uint8_t* in0, const uint8_t* in1,
                        uint32_t inWeight, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        int alpha = 128;
        for (int c = 0; c < 3; ++c) {
            const uint8_t* p = blur + i * 4 + c;
            const int sum = ninePointSum([p](int k) { return p[k * 4]; });
            const int in = blend(in0[i * 4 + c], in1[i * 4 + c], inWeight);
            const int departure = std::min(std::abs(9 * in - sum), kBeautyDepartureCap);
            const int quarterSquare = std::min(departure * departure >> 2, kBeautyDepartureTop);
            alpha += quarterSquare * kBeautyDepartureShare >> 16;
            dst[i * 4 + c] = ninth(sum);
        }
        dst[i * 4 + 3] = static_cast<uint8_t>(alpha >> 8);
    }
}

void BeautyBlurAlphaRow_C(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        const uint8_t* p = src + i * 4 + 3;
        std::memcpy(dst + i * 4, src + i * 4, 3);
        dst[i * 4 + 3] = ninth(ninePointSum([p](int k) { return p[k * 4]; }));
    }
}

void BeautyBlurAlphaColumnRow_C(const uint8_t* const* rows, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        const size_t a = static_cast<size_t>(i) * 4 + 3;
        std::memcpy(dst + i * 4, rows[6] + i * 4, 3);
        dst[i * 4 + 3] = ninth(ninePointSum([&](int k) { return rows[6 + k][a]; }));
    }
}

void BeautyGradeRow_C(const BeautyMixUniforms& u, float* rgb, int count) {
    for (int i = 0; i < count; ++i) {
        Colour colour{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
        // A grading of strength 0 gives c + 0 * (t - c) = c exactly; skip its reads.
        if (u.enableLut > 0 && u.ruddyDegree != 0.0f)
            colour = lutMix(colour, u.ruddy, u.ruddyDegree);
        if (u.enableLut > 0 && u.whiteDegree != 0.0f)
            colour = lutMix(colour, u.whiten, u.whiteDegree);
        rgb[3 * i] = colour.r;
        rgb[3 * i + 1] = colour.g;
        rgb[3 * i + 2] = colour.b;
    }
}

void BeautyMixRow_C(const BeautyMixUniforms& u, const uint8_t* above, const uint8_t* row,
                    const uint8_t* below, const uint8_t* blur0, const uint8_t* blur1,
                    uint32_t blurWeight, uint8_t* dst, int width) {
    BeautyLaneRows<ScalarPixels>::mix(u, above, row, below, blur0, blur1, blurWeight, dst, width);
}

BeautyRows beautyRowsFor(CpuFlags flags) {
    BeautyRows rows = {BeautyDownsizeRow_C,        BeautyHalveRow_C,   BeautyDoubleRow_C,
                       BeautyBlurRgbColumnRow_C,   BeautySoften2Row_C, BeautyBlurAlphaRow_C,
                       BeautyBlurAlphaColumnRow_C, BeautyMixRow_C,     BeautyGradeRow_C};
    beautyRowsInitArch(rows, flags);
    return rows;
}

const BeautyRows& beautyRows() {
    static const BeautyRows rows = beautyRowsFor(cpuFlags());
    return rows;
}

}  // namespace kelvo::video
