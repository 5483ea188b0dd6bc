// The beauty rows, written once over a set `V` of RGBA8 pixel lanes (one
// pixel per 32-bit lane; cpu/lanes.h states what a set provides) and
// instantiated by each row file with a set from its own anonymous
// namespace, so the instantiations (compiled for different instruction
// sets) never meet at link time. The portable mix is the instantiation over
// one-lane scalar pixels; the other rows' portable forms in beauty_rows.cpp
// do the same float operations in the same order.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "effects/beauty/cpu/beauty_mix_reciprocal.h"
#include "effects/beauty/cpu/beauty_rows.h"
#include "cpu/color_cube_kernel.h"
#include "cpu/lanes.h"
#include "effects/beauty/beauty_model.h"
#include "effects/lut_loader.h"

// The mix's per-vector steps are large enough that GCC keeps them out of
// line, reloading their constants on every call.
#if defined(__GNUC__)
#define KELVO_BEAUTY_INLINE __attribute__((always_inline))
#else
#define KELVO_BEAUTY_INLINE
#endif

namespace kelvo::video {

// The blur passes in integers, the portable rows and the lane sets alike. A
// sum s of nine reads of bytes (below 2^12) is written as round(s / 9),
// (s + 4) * kBeautyNinthFixed >> 16, exact there; no such sum lies halfway
// between levels, so the float passes gave the same bytes.
constexpr int kBeautyNinthFixed = 7282;
// The second pass's alpha in fixed point: a channel's departure of the read
// from the mean, e = min(|9 in - s|, kBeautyDepartureCap) in ninths of a
// level, is squared as min(floor(e^2 / 4), kBeautyDepartureTop), where the
// square of the scaled departure reaches its clip at 1, and taken into 1/256
// levels of alpha as floor(that * kBeautyDepartureShare / 2^16); alpha is
// the three channels' shares summed and rounded to a level.
constexpr double kBeautyDepartureUnit = kBeautyDepartureGain / (9.0 * 255.0);
constexpr int kBeautyDepartureCap =
    static_cast<int>(1.0 / kBeautyDepartureUnit) +
    (static_cast<int>(1.0 / kBeautyDepartureUnit) * kBeautyDepartureUnit < 1.0 ? 1 : 0);
constexpr int kBeautyDepartureTop =
    static_cast<int>(1.0 / (4.0 * kBeautyDepartureUnit * kBeautyDepartureUnit));
constexpr int kBeautyDepartureShare =
    static_cast<int>(4.0 * kBeautyDepartureUnit * kBeautyDepartureUnit * kBeautyChannelShare *
                         255.0 * 256.0 * 65536.0 +
                     0.5);
static_assert(kBeautyDepartureCap << 7 < 65536 &&
                  3 * (kBeautyDepartureTop * kBeautyDepartureShare >> 16) + 128 < 65536,
              "the departure's steps fit unsigned 16-bit lanes");

template <typename V>
struct BeautyLaneRows {
    using I = typename V::I;
    using F = typename V::F;
    static constexpr int N = V::kLanes;

    static F inv255() { return V::set1f(static_cast<float>(1.0 / 255.0)); }

    // Byte `Channel` of each lane, alone in its lane.
    template <int Channel>
    static I channel(I p) {
        if constexpr (Channel == 0) return V::andi(p, V::set1(255));
        if constexpr (Channel == 3) return V::template srli<24>(p);
        return V::template byteLane<Channel>(p);
    }
    template <int Channel>
    static F texel(I p) {
        return V::mul(V::toFloat(channel<Channel>(p)), inv255());
    }
    static F select(F mask, F a, F b) { return V::select(mask, a, b); }
    static I unorm(F x) {
        x = V::max(x, V::set1f(0.0f));
        x = V::min(x, V::set1f(1.0f));
        return V::toIntRound(V::mul(x, V::set1f(255.0f)));
    }
    static I pack(I r, I g, I b, I a) {
        return V::ori(V::ori(r, V::template slli<8>(g)),
                      V::ori(V::template slli<16>(b), V::template slli<24>(a)));
    }
    static I load(const uint8_t* p) { return V::load(p); }

    // A read halfway between two texels, as halving a size gives everywhere,
    // blends them as (128 a + 128 b + 128) >> 8, which is their rounded
    // average.
    static constexpr uint32_t kHalfway = 128u | 128u << 16;
    static I blendPerPixel(I a, I b, I weights) {
        if (V::allZero(V::sub(weights, V::set1(static_cast<int>(kHalfway))))) return V::avgU8(a, b);
        return V::blendPerPixel(a, b, weights);
    }
    struct Uniform {
        typename V::Weights weights;
        bool halfway;
        explicit Uniform(uint32_t w) : weights(V::uniformWeights(w)), halfway(w == kHalfway) {}
        I operator()(I a, I b) const { return halfway ? V::avgU8(a, b) : V::blend(a, b, weights); }
    };

    // The columns of a resize step by about one or two texels, so a vector's
    // texels mostly lie within the 2N pixels from its first: two loads and
    // picks in place of two gathers. A window never reaches past `last`, the
    // row's last column read.
    static void resizeTexels(const uint8_t* src, const int32_t* x0, const int32_t* x1, int32_t last,
                             I* a, I* b) {
        if constexpr (V::kWindowPicks) {
            const int32_t base = x0[0];
            const I at = V::set1(base);
            const I o0 = V::sub(V::load(x0), at), o1 = V::sub(V::load(x1), at);
            if (base + 2 * N - 1 <= last &&
                V::allZero(V::andi(V::ori(o0, o1), V::set1(~(2 * N - 1))))) {
                const I lo = load(src + static_cast<size_t>(base) * 4);
                const I hi = load(src + static_cast<size_t>(base + N) * 4);
                *a = V::pick(lo, hi, o0), *b = V::pick(lo, hi, o1);
                return;
            }
        }
        *a = V::gather(src, V::load(x0)), *b = V::gather(src, V::load(x1));
    }

    static void downsize(const uint8_t* src, const int32_t* x0, const int32_t* x1,
                         const uint32_t* weights, uint8_t* dst, int width) {
        int32_t last = 0;
        if constexpr (V::kWindowPicks) {
            for (int k = 0; k < width; ++k) last = std::max(last, std::max(x0[k], x1[k]));
        }
        int i = 0;
        for (; i + N <= width; i += N) {
            I a, b;
            resizeTexels(src, x0 + i, x1 + i, last, &a, &b);
            V::store(dst + i * 4, blendPerPixel(a, b, V::load(weights + i)));
        }
        kelvo::video::BeautyDownsizeRow_C(src, x0 + i, x1 + i, weights + i, dst + i * 4, width - i);
    }

    static void halve(const uint8_t* src, uint8_t* dst, int width) {
        int i = 0;
        for (; i + N <= width; i += N) {
            I even, odd;
            V::deinterleave(load(src + i * 8), load(src + i * 8 + N * 4), &even, &odd);
            V::store(dst + i * 4, V::avgU8(even, odd));
        }
        kelvo::video::BeautyHalveRow_C(src + i * 8, dst + i * 4, width - i);
    }

    // (64 a + 192 b + 128) >> 8 is (a + 3 b + 2) >> 2, which is b averaged
    // (rounding) with the floor of a and b's average, in bytes.
    static void doubled(const uint8_t* src, uint8_t* dst, int width) {
        int i = 0;
        for (; i + N <= width; i += N) {
            const uint8_t* p = src + i * 4;
            const I centre = load(p);
            I out[2];
            V::interleave(V::avgU8(centre, V::avgFloorU8(load(p - 4), centre)),
                          V::avgU8(centre, V::avgFloorU8(load(p + 4), centre)), out);
            V::store(dst + i * 8, out[0]);
            V::store(dst + i * 8 + N * 4, out[1]);
        }
        kelvo::video::BeautyDoubleRow_C(src + i * 4, dst + i * 8, width - i);
    }

    // The blurs in integers (kBeautyNinthFixed).
    static constexpr int kNinth = kelvo::video::kBeautyNinthFixed;

    // 16-bit lanes over the bytes of RGBA pixels, all four channels at once
    // (twice the lanes of float, and no conversions): a step is 2 N16 bytes.
    using L16 = typename V::Ops16;
    using H = typename L16::V;  // N16 16-bit lanes
    using Bytes = typename L16::B;
    static constexpr int kStepPixels = L16::N / 2;

    // Alpha's byte (kAlphaBytes) or 16-bit lane (kAlphaLanes) of each pixel.
    struct AlphaMasks {
        alignas(32) uint8_t bytes[64];
        alignas(32) uint16_t lanes[32];
    };
    static constexpr AlphaMasks alphaMasks() {
        AlphaMasks m{};
        for (int k = 0; k < 64; ++k) m.bytes[k] = k % 4 == 3 ? 255 : 0;
        for (int k = 0; k < 32; ++k) m.lanes[k] = k % 4 == 3 ? 0xffff : 0;
        return m;
    }
    static constexpr AlphaMasks kAlphaMasks = alphaMasks();

    // A read's 2 N16 bytes as 16-bit halves (in the split order of
    // widenSplitU8, as every sum below): a blended with b by w.
    struct Tap {
        H w0, w1;
        explicit Tap(uint32_t w)
            : w0(L16::set(static_cast<int16_t>(w & 0xffff))),
              w1(L16::set(static_cast<int16_t>(w >> 16))) {}
        void operator()(const uint8_t* a, const uint8_t* b, H& lo, H& hi) const {
            // (w0 a + w1 b + 128) >> 8 stays below 2^16.
            H a0, a1, b0, b1;
            L16::widenSplitU8(L16::loadU8(a), a0, a1);
            L16::widenSplitU8(L16::loadU8(b), b0, b1);
            auto blend = [&](H x, H y) {
                return L16::template srli<8>(
                    L16::add(L16::add(L16::mullo(x, w0), L16::mullo(y, w1)), L16::set(128)));
            };
            lo = blend(a0, b0), hi = blend(a1, b1);
        }
    };
    static void accumulate(H& lo, H& hi, H addLo, H addHi) {
        lo = L16::add(lo, addLo), hi = L16::add(hi, addHi);
    }
    // Sums of reads of bytes, widened two at a time.
    static void sumPair(Bytes a, Bytes b, H& lo, H& hi) {
        H l, h;
        L16::widenPairU8(a, b, l, h);
        accumulate(lo, hi, l, h);
    }
    // round(s / 9) of a half's sums.
    static H ninth(H sum) {
        return L16::mulhiU(L16::add(sum, L16::set(4)), L16::set(static_cast<int16_t>(kNinth)));
    }
    // The nine reads of a half-size pass along a row of bytes, `at(d)` the
    // bytes d pixels away: singles at 0, +-3, +-6 and halfway reads at
    // +-1.5, +-4.5.
    template <typename At>
    static void ninePointSums(At at, H& lo, H& hi) {
        auto mid = [&](int d) { return L16::avgU8(at(d), at(d + 1)); };
        L16::widenPairU8(at(0), at(-3), lo, hi);
        sumPair(at(3), at(-6), lo, hi);
        sumPair(at(6), mid(-2), lo, hi);
        sumPair(mid(1), mid(-5), lo, hi);
        H l, h;
        L16::widenSplitU8(mid(4), l, h);
        accumulate(lo, hi, l, h);
    }

    template <bool kHalfwayReads>
    static int blurRgbColumnRows(const kelvo::video::BeautyColumnTaps& taps, uint8_t* dst,
                                 int width) {
        const Tap tap[9] = {Tap(taps.weights[0]), Tap(taps.weights[1]), Tap(taps.weights[2]),
                            Tap(taps.weights[3]), Tap(taps.weights[4]), Tap(taps.weights[5]),
                            Tap(taps.weights[6]), Tap(taps.weights[7]), Tap(taps.weights[8])};
        const Bytes opaque = L16::loadU8(kAlphaMasks.bytes);
        int i = 0;
        for (; i + kStepPixels <= width; i += kStepPixels) {
            const size_t at = static_cast<size_t>(i) * 4;
            H lo, hi;
            if constexpr (kHalfwayReads) {
                auto read = [&](int k) {
                    return L16::avgU8(L16::loadU8(taps.rows[2 * k] + at),
                                      L16::loadU8(taps.rows[2 * k + 1] + at));
                };
                L16::widenPairU8(read(0), read(1), lo, hi);
                sumPair(read(2), read(3), lo, hi);
                sumPair(read(4), read(5), lo, hi);
                sumPair(read(6), read(7), lo, hi);
                H l, h;
                L16::widenSplitU8(read(8), l, h);
                accumulate(lo, hi, l, h);
            } else {
                tap[0](taps.rows[0] + at, taps.rows[1] + at, lo, hi);
                for (int k = 1; k < 9; ++k) {
                    H l, h;
                    tap[k](taps.rows[2 * k] + at, taps.rows[2 * k + 1] + at, l, h);
                    accumulate(lo, hi, l, h);
                }
            }
            L16::storeU8(dst + at, L16::maxU8(L16::narrowSplitU8(ninth(lo), ninth(hi)), opaque));
        }
        return i;
    }

    static void blurRgbColumn(const kelvo::video::BeautyColumnTaps& taps, uint8_t* dst, int width) {
        static_assert(kStepPixels >= 4, "a step of the 16-bit rows is whole pixels");
        bool halfway = true;
        for (const uint32_t w : taps.weights) halfway = halfway && w == kHalfway;
        // All halfway as even heights give everywhere.
        const int i = halfway ? blurRgbColumnRows<true>(taps, dst, width)
                              : blurRgbColumnRows<false>(taps, dst, width);
        kelvo::video::BeautyColumnTaps rest = taps;
        for (auto& row : rest.rows) row += i * 4;
        kelvo::video::BeautyBlurRgbColumnRow_C(rest, dst + i * 4, width - i);
    }

    template <bool kHalfwayRead>
    static int soften2Rows(const uint8_t* blur, const uint8_t* in0, const uint8_t* in1,
                           uint32_t inWeight, uint8_t* dst, int width) {
        using namespace kelvo::video;  // the departure's constants
        const Tap tap(inWeight);
        const H alphaLanes = L16::load16(kAlphaMasks.lanes);
        // The departure 9 in - s, |9 in - s| of a channel, at most 2295.
        auto alpha = [&](H in, H sum) {
            const H e = L16::min(L16::absDiffU(L16::mullo(in, L16::set(9)), sum),
                                 L16::set(static_cast<int16_t>(kBeautyDepartureCap)));
            const H e7 = L16::template slli<7>(e);
            const H quarterSquare =
                L16::min(L16::mulhiU(e7, e7), L16::set(static_cast<int16_t>(kBeautyDepartureTop)));
            // The factor is above 2^15: its bits, as an unsigned lane.
            const H share = L16::mulhiU(quarterSquare,
                                        L16::set(static_cast<int16_t>(kBeautyDepartureShare)));
            // Red, green and blue's shares summed in alpha's lane.
            return L16::template srli<8>(L16::add(L16::pixelPrefix(share), L16::set(128)));
        };
        int i = 0;
        for (; i + kStepPixels <= width; i += kStepPixels) {
            const size_t at = static_cast<size_t>(i) * 4;
            const uint8_t* p = blur + at;
            H lo, hi, inLo, inHi;
            ninePointSums([p](int d) { return L16::loadU8(p + 4 * d); }, lo, hi);
            if constexpr (kHalfwayRead) {
                L16::widenSplitU8(L16::avgU8(L16::loadU8(in0 + at), L16::loadU8(in1 + at)), inLo,
                                  inHi);
            } else {
                tap(in0 + at, in1 + at, inLo, inHi);
            }
            const H outLo = L16::select(alphaLanes, alpha(inLo, lo), ninth(lo));
            const H outHi = L16::select(alphaLanes, alpha(inHi, hi), ninth(hi));
            L16::storeU8(dst + at, L16::narrowSplitU8(outLo, outHi));
        }
        return i;
    }

    static void soften2(const uint8_t* blur, const uint8_t* in0, const uint8_t* in1,
                        uint32_t inWeight, uint8_t* dst, int width) {
        static_assert(kStepPixels >= 4, "a step of the 16-bit rows is whole pixels");
        const int i = inWeight == kHalfway
                          ? soften2Rows<true>(blur, in0, in1, inWeight, dst, width)
                          : soften2Rows<false>(blur, in0, in1, inWeight, dst, width);
        kelvo::video::BeautySoften2Row_C(blur + i * 4, in0 + i * 4, in1 + i * 4, inWeight,
                                         dst + i * 4, width - i);
    }

    // The alpha passes in the pixel lanes: shifted down a byte, a pixel's
    // 16-bit halves hold green and alpha, whose nine-read sums share the
    // adds; alpha's (s + 4) * kNinth < 2^24 comes out of the multiply-add
    // in bits 16 to 23.
    static I withAlpha(I rgbFrom, I sums) {
        const I product = V::madd(V::add16(sums, V::set1(4 << 16)), V::set1(kNinth << 16));
        return V::ori(V::andi(rgbFrom, V::set1(0x00ffffff)),
                      V::andi(V::template slli<8>(product), V::set1(static_cast<int>(0xff000000u))));
    }
    // The nine reads' sums of green and alpha; `at(d)` loads the pixels d steps away.
    template <typename At>
    static I ninePointSumsGA(At at) {
        auto ga = [](I p) { return V::template srli16<8>(p); };
        I sum = ga(at(0));
        for (int d : {-3, 3, -6, 6}) sum = V::add16(sum, ga(at(d)));
        for (int d : {-2, 1, -5, 4}) sum = V::add16(sum, ga(V::avgU8(at(d), at(d + 1))));
        return sum;
    }

    static void blurAlpha(const uint8_t* src, uint8_t* dst, int width) {
        int i = 0;
        for (; i + N <= width; i += N) {
            const uint8_t* p = src + i * 4;
            V::store(dst + i * 4,
                     withAlpha(load(p), ninePointSumsGA([p](int d) { return load(p + 4 * d); })));
        }
        kelvo::video::BeautyBlurAlphaRow_C(src + i * 4, dst + i * 4, width - i);
    }

    static void blurAlphaColumn(const uint8_t* const* rows, uint8_t* dst, int width) {
        int i = 0;
        for (; i + N <= width; i += N) {
            auto at = [&](int d) { return load(rows[6 + d] + i * 4); };
            V::store(dst + i * 4, withAlpha(at(0), ninePointSumsGA(at)));
        }
        const uint8_t* rest[13];
        for (int k = 0; k < 13; ++k) rest[k] = rows[k] + i * 4;
        kelvo::video::BeautyBlurAlphaColumnRow_C(rest, dst + i * 4, width - i);
    }

    // floor() for |x| < 2^31: truncation, less one where that rounded up.
    static F floor(F x) {
        const F t = V::toFloat(V::toIntTrunc(x));
        return V::sub(t, V::fand(V::cmpgt(t, x), V::set1f(1.0f)));
    }

    // Packed weights of a table read at `pos`, and the index of its first
    // texel in the padded table.
    static void tableAxis(F pos, I* index, I* weights) {
        const I fixed =
            V::sub(V::toIntRound(V::mul(pos, V::set1f(kelvo::video::kBeautyTableFixedScale))),
                   V::set1(128));
        I i = V::template srai<8>(fixed);
        const I f = V::andi(fixed, V::set1(255));
        i = V::maxi(i, V::set1(-1));
        i = V::mini(i, V::set1(kelvo::video::kBeautyTableSize - 1));
        *index = V::add(i, V::set1(1));
        *weights = V::ori(V::sub(V::set1(256), f), V::template slli<16>(f));
    }

    // (w0 * a + w1 * b + 128) >> 8 of a lane's pair and packed weights.
    static I blendPair(I pair, I weights) {
        return V::template srli<8>(V::add(V::madd(pair, weights), V::set1(128)));
    }
    // A two-axis read from the pairs of its top and bottom texels, lane by
    // lane, so no weight needs spreading across channels.
    static F tableChannel(I top, I bottom, I wx, I wy) {
        const I y = V::ori(blendPair(top, wx), V::template slli<16>(blendPair(bottom, wx)));
        return V::mul(V::toFloat(blendPair(y, wy)), inv255());
    }

    static void tableRead(const uint8_t* table, F x, F y, F out[3]) {
        I ix, iy, wx, wy;
        tableAxis(x, &ix, &wx);
        tableAxis(y, &iy, &wy);
        static_assert(kelvo::video::kBeautyTableCells == 513, "row step below is 512 + 1");
        I r[4];
        V::loadCells(table, V::template slli<4>(V::add(V::add(V::template slli<9>(iy), iy), ix)),
                     r);
        // Transposed, w[k] holds word k of each pixel's cell.
        const I lo01 = V::unpackLo32(r[0], r[1]), hi01 = V::unpackHi32(r[0], r[1]);
        const I lo23 = V::unpackLo32(r[2], r[3]), hi23 = V::unpackHi32(r[2], r[3]);
        const I w[3] = {V::unpackLo64(lo01, lo23), V::unpackHi64(lo01, lo23),
                        V::unpackLo64(hi01, hi23)};
        // Words 0 to 2 hold the pairs: top r, g; top b, bottom r; bottom g, b.
        out[0] = tableChannel(V::template bytePair<0>(w[0]), V::template bytePair<1>(w[1]), wx, wy);
        out[1] = tableChannel(V::template bytePair<1>(w[0]), V::template bytePair<0>(w[2]), wx, wy);
        out[2] = tableChannel(V::template bytePair<0>(w[1]), V::template bytePair<1>(w[2]), wx, wy);
    }

    static F lerp(F a, F b, F t) { return V::add(a, V::mul(t, V::sub(b, a))); }

    static void lutMix(F colour[3], const uint8_t* table, float amount) {
        using kelvo::video::kLutTileSize, kelvo::video::kLutTexelCentre;
        const F blue = V::mul(colour[2], V::set1f(kelvo::video::kLutTopLevel));
        const F lo = floor(blue);
        const F hi = V::add(lo, V::fand(V::cmpgt(blue, lo), V::set1f(1.0f)));
        const F tiles = V::set1f(static_cast<float>(kelvo::video::kLutTilesPerRow));
        const F q1y = floor(V::mul(lo, V::set1f(kLutTileSize)));  // exact, as lo / tiles
        const F q1x = V::sub(lo, V::mul(q1y, tiles));
        const F q2y = floor(V::mul(hi, V::set1f(kLutTileSize)));
        const F q2x = V::sub(hi, V::mul(q2y, tiles));
        const F k = V::set1f(kelvo::video::kLutTileSpan);
        const F rx = V::mul(k, colour[0]);
        const F gy = V::mul(k, colour[1]);
        auto start = [](F q) {
            return V::add(V::mul(q, V::set1f(kLutTileSize)), V::set1f(kLutTexelCentre));
        };
        F c1[3], c2[3];
        tableRead(table, V::add(start(q1x), rx), V::add(start(q1y), gy), c1);
        tableRead(table, V::add(start(q2x), rx), V::add(start(q2y), gy), c2);
        const F t = V::sub(blue, lo);
        const F a = V::set1f(amount);
        for (int c = 0; c < 3; ++c) colour[c] = lerp(colour[c], lerp(c1[c], c2[c], t), a);
    }

    // Where V has a rounding multiply the reads blend in 16-bit lanes:
    // (w0 a + w1 b + 128) >> 8 with w0 = 256 - f, w1 = f equals
    // a + (((b - a) * (f << 7) + 2^14) >> 15), which pmulhrsw gives for 16
    // pairs at once.
    static I roundBlend(I left, I right, I weight) {
        return V::add16(left, V::mulhrs(V::sub16(right, left), weight));
    }

    // tableAxis for a position already scaled by 2^17, as fixed + 256: its
    // high bits are the cell index before clamping, its low byte f.
    static I scaledTableAxis(F pos) { return V::add(V::toIntRound(pos), V::set1(128)); }
    // f << 7 in both 16-bit halves of each lane.
    static I roundWeight(I axis) {
        return V::template slli16<7>(V::template laneBytes<0, -1, 0, -1>(axis));
    }

    static void scaledTableRead(const uint8_t* table, F x, F y, F out[3]) {
        const I ax = scaledTableAxis(x), ay = scaledTableAxis(y);
        const I wx = roundWeight(ax), wy = roundWeight(ay);
        // Both indices clamped at once as 16-bit halves, which also hold
        // what the 32-bit ones clamp to.
        using kelvo::video::kBeautyTableCellBytes, kelvo::video::kBeautyTableCells;
        I index = V::packPairs(V::template srai<8>(ax), V::template srai<8>(ay));
        index = V::mini16(V::maxi16(index, V::set1(0)),
                          V::set1(kelvo::video::kBeautyTableSize * 0x10001));
        // Byte offset x * 16 + y * 513 * 16, which fits a signed 16-bit factor.
        constexpr int kStep = kBeautyTableCellBytes | kBeautyTableCellBytes * kBeautyTableCells
                                                          << 16;
        I r[4];
        V::loadCells(table, V::madd(index, V::set1(kStep)), r);
        const I lo01 = V::unpackLo32(r[0], r[1]), hi01 = V::unpackHi32(r[0], r[1]);
        const I lo23 = V::unpackLo32(r[2], r[3]), hi23 = V::unpackHi32(r[2], r[3]);
        const I w[3] = {V::unpackLo64(lo01, lo23), V::unpackHi64(lo01, lo23),
                        V::unpackLo64(hi01, hi23)};
        // Blended along x, the words give top (g, r) (swapped so the bottom
        // pair below lines up with one blend), top b and bottom r, bottom g
        // and b, as 16-bit halves.
        const I lefts = V::set1(0x00ff00ff);
        const I topGR = roundBlend(V::template laneBytes<2, -1, 0, -1>(w[0]),
                                   V::template laneBytes<3, -1, 1, -1>(w[0]), wx);
        const I x1 = roundBlend(V::andi(w[1], lefts), V::template srli16<8>(w[1]), wx);
        const I x2 = roundBlend(V::andi(w[2], lefts), V::template srli16<8>(w[2]), wx);
        const I gr = roundBlend(topGR, V::template blend16<0x55>(x1, x2), wy);
        const I b = roundBlend(V::andi(x1, V::set1(0xffff)), V::template srli<16>(x2), wy);
        out[0] = V::mul(V::toFloat(V::template srli<16>(gr)), inv255());
        out[1] = V::mul(V::toFloat(V::andi(gr, V::set1(0xffff))), inv255());
        out[2] = V::mul(V::toFloat(b), inv255());
    }

    // Where tile column q % 8 starts, in 2^-17 texture units.
    static_assert(kelvo::video::kLutTilesPerRow == 8, "tile columns fill one 8-float table");
    static constexpr float kTileColumns[8] = {
        kelvo::video::beautyTileStartFixed(0), kelvo::video::beautyTileStartFixed(1),
        kelvo::video::beautyTileStartFixed(2), kelvo::video::beautyTileStartFixed(3),
        kelvo::video::beautyTileStartFixed(4), kelvo::video::beautyTileStartFixed(5),
        kelvo::video::beautyTileStartFixed(6), kelvo::video::beautyTileStartFixed(7)};
    // Tile rows start as columns do: row q / 8 at (q / 8) * 2^14 + 128, which
    // startY forms from q's bits.
    static_assert(kelvo::video::beautyTileStartFixed(0) == 128.0f &&
                      kelvo::video::beautyTileStartFixed(1) == 16384.0f + 128.0f,
                  "startY's bit arithmetic");

    // lutMix with the reads' positions scaled by 2^17 as they are summed:
    // scaling by a power of two commutes with float rounding, so each sum
    // and its rounding to 8.8 fixed point are those of lutMix, for blue
    // within +-2^20 (beyond, a slice's start no longer fits in a float).
    // The slices come as integers, so their starts need no floor.
    static KELVO_BEAUTY_INLINE void scaledLutMix(F colour[3], const uint8_t* table, float amount) {
        const F blue = V::mul(colour[2], V::set1f(kelvo::video::kLutTopLevel));
        const I whole = V::toIntTrunc(blue);
        const F truncated = V::toFloat(whole);
        const F over = V::cmpgt(truncated, blue);
        const F lo = V::sub(truncated, V::fand(over, V::set1f(1.0f)));
        const I slice1 = V::add(whole, V::bits(over));
        const I slice2 = V::sub(slice1, V::bits(V::cmpgt(blue, lo)));
        // Slice q starts at (q % 8, q / 8) / 8 + 1 / 1024 texture units; 128 is 2^17 / 1024
        // (kTileColumns; for rows see the assertion beside it).
        auto startX = [](I q) { return V::permute(kTileColumns, q); };
        auto startY = [](I q) {
            return V::toFloat(
                V::ori(V::andi(V::template slli<11>(q), V::set1(~0x3fff)), V::set1(128)));
        };
        const F k =
            V::set1f(kelvo::video::kLutTileSpan * kelvo::video::kBeautyTableFixedScale);  // 16128
        const F rx = V::mul(colour[0], k);
        const F gy = V::mul(colour[1], k);
        F c1[3], c2[3];
        scaledTableRead(table, V::add(startX(slice1), rx), V::add(startY(slice1), gy), c1);
        scaledTableRead(table, V::add(startX(slice2), rx), V::add(startY(slice2), gy), c2);
        const F t = V::sub(blue, lo);
        const F a = V::set1f(amount);
        for (int c = 0; c < 3; ++c) colour[c] = lerp(colour[c], lerp(c1[c], c2[c], t), a);
    }

    // One table grading, inlined into the mix so its constants stay loaded.
    static KELVO_BEAUTY_INLINE void grade(F colour[3], const uint8_t* table, float amount) {
        if constexpr (V::kRoundingMultiply) {
            scaledLutMix(colour, table, amount);
        } else {
            lutMix(colour, table, amount);
        }
    }

    // Colours of 3 floats, N at a time; the rest as the portable row grades
    // them.
    static void gradeRow(const kelvo::video::BeautyMixUniforms& u, float* rgb, int count) {
        const bool ruddy = u.enableLut > 0 && u.ruddyDegree != 0.0f;
        const bool white = u.enableLut > 0 && u.whiteDegree != 0.0f;
        int i = 0;
        for (; i + N <= count; i += N) {
            float* at = rgb + 3 * i;
            alignas(32) float planes[3][N];
            for (int k = 0; k < N; ++k)
                for (int c = 0; c < 3; ++c) planes[c][k] = at[3 * k + c];
            F colour[3] = {V::Ops::loadf(planes[0]), V::Ops::loadf(planes[1]),
                           V::Ops::loadf(planes[2])};
            if (ruddy) grade(colour, u.ruddy, u.ruddyDegree);
            if (white) grade(colour, u.whiten, u.whiteDegree);
            for (int c = 0; c < 3; ++c) V::Ops::storef(planes[c], colour[c]);
            for (int k = 0; k < N; ++k)
                for (int c = 0; c < 3; ++c) at[3 * k + c] = planes[c][k];
        }
        if (i < count) kelvo::video::BeautyGradeRow_C(u, rgb + 3 * i, count - i);
    }

    // clamp((x - start) * gain, 0, 1).
    static KELVO_BEAUTY_INLINE F ramp(F x, kelvo::video::BeautyRamp r) {
        const F t = V::mul(V::sub(x, V::set1f(r.start)), V::set1f(r.gain));
        return V::max(V::min(t, V::set1f(1.0f)), V::set1f(0.0f));
    }

    // The selective mix's soft skin likelihood of a mean colour (beauty_model.h).
    static KELVO_BEAUTY_INLINE F selectiveSkin(const F mean[3]) {
        using namespace kelvo::video;
        const F inverse =
            V::div(V::set1f(1.0f), V::add(mean[0], V::set1f(kBeautySelectiveEpsilon)));
        const F hue = V::mul(V::sub(mean[0], mean[1]), inverse);
        const F warmth = V::mul(V::sub(mean[0], mean[2]), inverse);
        const F yellow =
            V::mul(V::sub(V::sub(V::add(mean[1], mean[1]), mean[0]), mean[2]), inverse);
        const F one = V::set1f(1.0f);
        const F colour =
            V::mul(V::mul(ramp(hue, kBeautySelectiveHue), ramp(warmth, kBeautySelectiveWarmth)),
                   V::mul(V::sub(one, ramp(warmth, kBeautySelectiveOrange)),
                          V::sub(one, ramp(yellow, kBeautySelectiveYellow))));
        return V::mul(colour, ramp(mean[0], kBeautySelectiveDark));
    }

    // The mixes walk a row in chunks of kMixChunk pixels, gathering what
    // their 3 x 3 reads need of the three lines once per chunk into slots
    // indexed from `base`, the pixel left of the chunk's first: slot i holds
    // pixel base + i. gather(pixel, slot) fills the slots of `Lanes` pixels
    // (pixels base to end, the last vector moved back to stay in the row);
    // pad(from, to) copies a slot where a neighbour lies beyond the row's
    // ends, as the clamped reads at the edges give. span(x, count) then
    // shades `count` vectors from x, Group at a time where they fit. A chunk
    // short of a vector, and the pixels short of a vector at a chunk's end,
    // are done again as the last whole vector before them, rewriting some
    // with the same bytes.
    static constexpr int kMixChunk = 256;
    template <int Lanes, int Group, typename Gather, typename Pad, typename Span>
    static KELVO_BEAUTY_INLINE void walkChunks(int width, int& base, Gather gather, Pad pad,
                                               Span span) {
        for (int chunk = 0; chunk < width; chunk += kMixChunk) {
            const int end = std::min(chunk + kMixChunk, width);
            const int start = std::min(chunk, end - Lanes);
            base = start - 1;
            const int first = std::max(base, 0), count = std::min(end + 1, width) - first;
            for (int i = 0; i < count; i += Lanes) {
                const int at = std::min(i, count - Lanes);
                gather(first + at, first - base + at);
            }
            if (base < 0) pad(1, 0);
            if (end == width) pad(end - 1 - base, end - base);
            int x = start;
            for (; x + Group * Lanes <= end; x += Group * Lanes) span(x, Group);
            for (; x + Lanes <= end; x += Lanes) span(x, 1);
            if (x < end) span(end - Lanes, 1);
        }
    }

    // The classic mix in fixed point, on twice the lanes: colours as 16-bit
    // multiples of 1/16 of a level (0..kTop), weights as multiples of
    // 1/kWeightOne. The smoothing weight's quotient takes its divisor's
    // reciprocal (beauty_mix_reciprocal.h).
    using O16 = typename V::Ops16;
    using W = typename O16::V;
    static constexpr int N16 = O16::N;
    static constexpr int kHalves = N16 / N;
    static constexpr int kTop = 255 << 4;
    static constexpr float kWeightOne = 16384.0f;
    static_assert(kHalves == 1 || kHalves == 2, "16-bit lanes hold one or two float vectors");

    // What the fixed mix covers: the classic level with weights within 0..1
    // (as the settings give them), and the gradings from a cube or none.
    static bool fixedMix(const kelvo::video::BeautyMixUniforms& u) {
        const bool tables = u.enableLut > 0 && (u.ruddyDegree != 0.0f || u.whiteDegree != 0.0f);
        return u.level != kelvo::video::kBeautyLevelSelective && u.sharpen >= 0.0f &&
               u.sharpen <= 1.0f && u.blurAlpha >= 0.0f && u.blurAlpha <= 1.0f &&
               (u.grading.entries != nullptr || !tables);
    }
    // The largest level whose texel is at most x: texel(b) > x is b > levelFloor(x).
    static constexpr int levelFloor(float x) {
        int b = 0;
        while (b < 255 && static_cast<float>(b + 1) * static_cast<float>(1.0 / 255.0) <= x) ++b;
        return b;
    }
    // d s w / 2^16 rounded, for |2 d s| < 2^15: the high half of 2 d s w
    // floors twice the product, so one added before halving rounds it.
    // The difference d scales by a multiply: a negative value may not be
    // shifted left in the portable lanes.
    static W scaled(W d, int16_t s, W w) {
        const W twice = O16::mulhi(O16::mullo(d, O16::set(static_cast<int16_t>(2 * s))), w);
        return O16::template srai<1>(O16::add(twice, O16::set(1)));
    }
    // Both masks set: of 0 and -1 (set), the larger.
    static W all(W a, W b) { return O16::max(a, b); }

    static void mixFixed(const kelvo::video::BeautyMixUniforms& u, const uint8_t* above,
                         const uint8_t* row, const uint8_t* below, const uint8_t* blur0,
                         const uint8_t* blur1, uint32_t blurWeight, uint8_t* dst, int width) {
        using namespace kelvo::video;  // the model's constants
        const bool broadSkinTest = u.lightStrength > kBeautyLightCut;
        const bool gated = u.noiseLevel < 1 && u.lightStrength >= kBeautyLightCut;
        const W zero = O16::set(0);
        auto weight = [](float w) {
            return O16::set(static_cast<int16_t>(std::lrint(w * kWeightOne)));
        };
        const W weightL = weight(kBeautySharpenWeightLow * u.sharpen);
        const W weightM = weight(kBeautySharpenWeightMid * u.sharpen);
        const W weightH = weight(kBeautySharpenWeightHigh * u.sharpen);
        const W w0 = O16::set(static_cast<int16_t>(blurWeight & 0xffff));
        const W w1 = O16::set(static_cast<int16_t>(blurWeight >> 16));
        // k = e p alpha with e = 51 / (2 a + 51) and p = P / 255 for the
        // mean's alpha a and the red ramp P in levels: alpha P / (5 (2 a + 51)),
        // which is 2^12 P / d times alpha / (5 2^12). In units of 2^-12 of P / d,
        // the band k exceeds starts above bandAbove (past any ratio where alpha
        // is too small to reach it), and bandScale takes such a ratio to k
        // scaled by the band in units of kWeightOne.
        const double perRatio = u.blurAlpha / (5.0 * 4096.0);
        W bandAbove[3], bandScale[4];
        for (int i = 0; i < 4; ++i) {
            if (i < 3) {
                const double above = (1.0 - kBeautyBandValue[i]) / std::max(perRatio, 1e-9);
                bandAbove[i] = O16::set(static_cast<int16_t>(std::min(above, 32767.0)));
            }
            bandScale[i] = O16::set(static_cast<int16_t>(
                std::lrint(perRatio * kBeautyBandBlur[i] * kWeightOne * 32768.0)));
        }
        constexpr int kLowCut = static_cast<int>(kHighPassThresholdLow * kTop);
        constexpr int kMidCut = static_cast<int>(kHighPassThresholdMid * kTop);
        // The sums of green over the three lines, pixel base + i at columns[i],
        // taken once per chunk rather than at each of the three columns.
        uint16_t columns[kMixChunk + 2];
        int base = 0;
        auto column = [&](int at) { return O16::load16(columns + (at - base)); };

        // The colour of the N16 pixels from x on before grading.
        auto shade = [&](int x, W colour[3]) KELVO_BEAUTY_INLINE {
            W c[3], unused;
            O16::loadPixels4(row + x * 4, c[0], c[1], c[2], unused);
            const W r = c[0], g = c[1], b = c[2];
            W skin;
            if (broadSkinTest) {
                // |r - g| above the spread with red the largest is r - g above
                // it, which also puts the largest less the least above it.
                skin =
                    all(all(O16::cmpgt(r, O16::set(levelFloor(kBeautySkinMinRed))),
                            O16::cmpgt(g, O16::set(levelFloor(kBeautySkinMinGreen)))),
                        all(O16::cmpgt(b, O16::set(levelFloor(kBeautySkinMinBlue))),
                            all(O16::cmpgt(O16::sub(r, g), O16::set(levelFloor(kBeautySkinSpread))),
                                O16::cmpgt(r, b))));
            } else {
                skin = all(all(O16::cmpgt(r, O16::set(levelFloor(kBeautyBrightSkinMinRed))),
                               O16::cmpgt(g, O16::set(levelFloor(kBeautyBrightSkinMinGreen)))),
                           all(all(O16::cmpgt(b, O16::set(levelFloor(kBeautyBrightSkinMinBlue))),
                                   O16::cmpgt(O16::set(levelFloor(kBeautySkinSpread) + 1),
                                              O16::absDiffU(r, g))),
                               all(O16::cmpgt(r, b), O16::cmpgt(g, b))));
            }
            W smooth[3] = {O16::template slli<4>(r), O16::template slli<4>(g),
                           O16::template slli<4>(b)};
            if (!(gated && V::noneSet16(skin))) {
                W m0[4], m1[4], mean[4];
                O16::loadPixels4(blur0 + x * 4, m0[0], m0[1], m0[2], m0[3]);
                O16::loadPixels4(blur1 + x * 4, m1[0], m1[1], m1[2], m1[3]);
                // The texel blend, (a w0 + b w1 + 128) >> 8: below 2^16.
                for (int i = 0; i < 4; ++i) {
                    mean[i] = O16::template srli<8>(O16::add(
                        O16::add(O16::mullo(m0[i], w0), O16::mullo(m1[i], w1)), O16::set(128)));
                }
                const W ramp =
                    O16::sub(O16::min(O16::template slli<2>(r),
                                      O16::sub(O16::template slli<2>(mean[0]), O16::set(102))),
                             O16::set(204));
                const W p = O16::min(O16::max(ramp, zero), O16::set(255));
                W inverse;
                if constexpr (N16 == 1) {
                    inverse = kMixReciprocals.of[mean[3]];
                } else {
                    inverse = mixReciprocal<O16>(
                        O16::add(O16::template slli<1>(mean[3]), O16::set(kMixEdgeLow)));
                }
                // P / d in units of 2^-12: at most 2^12 255 / 51.
                const W ratio = O16::mulhiU(O16::template slli<8>(p), inverse);
                W k = O16::select(O16::cmpgt(ratio, bandAbove[0]), bandScale[0],
                                  O16::select(O16::cmpgt(ratio, bandAbove[1]), bandScale[1],
                                              O16::select(O16::cmpgt(ratio, bandAbove[2]),
                                                          bandScale[2], bandScale[3])));
                k = O16::mulhiU(O16::template slli<1>(ratio), k);
                if (gated) k = O16::select(skin, k, zero);
                // c + (mean - c) k, with (mean - c) 2^6 k / 2^16 in 1/16 levels.
                for (int i = 0; i < 3; ++i)
                    smooth[i] = O16::add(smooth[i], scaled(O16::sub(mean[i], c[i]), 64, k));
            }

            const W sum = O16::add(O16::add(column(x - 1), column(x)), column(x + 1));
            // The nine-tap weight as a 16-bit fraction, of 16 times the sum
            // (at most 36720, unsigned).
            constexpr int kNineTap = static_cast<int>(kNineTapWeight * 65536.0f + 0.5f);
            const W dif = O16::sub(O16::template slli<4>(g),
                                   O16::mulhiU(O16::template slli<4>(sum), O16::set(kNineTap)));
            const W low =
                u.sharpen < kBeautySharpenSkinCut ? O16::select(skin, zero, weightL) : weightL;
            const W sharpWeight =
                O16::select(O16::cmpgt(dif, O16::set(kMidCut)), weightH,
                            O16::select(O16::cmpgt(dif, O16::set(kLowCut)), weightM, low));
            // With smooth within 0..kTop, a rise can only pass the top and a
            // fall the bottom: one clamp takes the side the sign of dif picks.
            const W twice = O16::add(dif, dif);
            for (int i = 0; i < 3; ++i) {
                const W t = O16::add(smooth[i], twice);
                const W sharp = O16::min(O16::max(t, zero), O16::set(kTop));
                colour[i] = O16::add(smooth[i], scaled(O16::sub(sharp, smooth[i]), 4, sharpWeight));
            }
        };
        // Groups of vectors graded together keep several cube reads in flight.
        constexpr int kGroup = 4 / kHalves;
        auto span = [&](int x, int count) {
            W colours[kGroup][3];
            for (int k = 0; k < count; ++k) shade(x + k * N16, colours[k]);
            if (u.grading.entries) {
                F graded[kGroup][kHalves][3];
                for (int k = 0; k < count; ++k) {
                    for (int i = 0; i < 3; ++i) {
                        F halves[kHalves];
                        V::floats16(colours[k][i], halves);
                        for (int h = 0; h < kHalves; ++h)
                            graded[k][h][i] = V::mul(halves[h], V::set1f(1.0f / kTop));
                    }
                }
                for (int k = 0; k < count; ++k)
                    for (int h = 0; h < kHalves; ++h)
                        kelvo::video::cubeLookup<typename V::Ops>(u.grading, graded[k][h]);
                for (int k = 0; k < count; ++k) {
                    for (int i = 0; i < 3; ++i) {
                        I levels[2];
                        for (int h = 0; h < kHalves; ++h)
                            levels[h] = V::toIntRound(V::mul(graded[k][h][i], V::set1f(255.0f)));
                        colours[k][i] = V::ints16(levels[0], levels[kHalves - 1]);
                    }
                }
            } else {
                for (int k = 0; k < count; ++k)
                    for (int i = 0; i < 3; ++i)
                        colours[k][i] = O16::template srai<4>(O16::add(colours[k][i], O16::set(8)));
            }
            for (int k = 0; k < count; ++k) {
                O16::storePixels4(dst + (x + k * N16) * 4, colours[k][0], colours[k][1],
                                  colours[k][2], O16::set(255));
            }
        };
        const uint8_t* const lines[3] = {above, row, below};
        walkChunks<N16, kGroup>(
            width, base,
            [&](int pixel, int slot) KELVO_BEAUTY_INLINE {
                W sum = zero;
                for (int l = 0; l < 3; ++l) {
                    W c[4];
                    O16::loadPixels4(lines[l] + pixel * 4, c[0], c[1], c[2], c[3]);
                    sum = O16::add(sum, c[1]);
                }
                O16::store16(columns + slot, sum);
            },
            [&](int from, int to) { columns[to] = columns[from]; }, span);
    }

    static void mix(const kelvo::video::BeautyMixUniforms& u, const uint8_t* above,
                    const uint8_t* row, const uint8_t* below, const uint8_t* blur0,
                    const uint8_t* blur1, uint32_t blurWeight, uint8_t* dst, int width) {
        const bool fixed = fixedMix(u);
        if (width < (fixed ? N16 : N)) {
            if constexpr (N16 > 1)
                BeautyMixRow_C(u, above, row, below, blur0, blur1, blurWeight, dst, width);
            return;
        }
        if (fixed) {
            mixFixed(u, above, row, below, blur0, blur1, blurWeight, dst, width);
            return;
        }
        using namespace kelvo::video;  // the model's constants
        const bool selective = u.level == kBeautyLevelSelective;
        const F selectiveAlpha = V::set1f(u.blurAlpha * kBeautySelectiveStrength);
        const bool broadSkinTest = u.lightStrength > kBeautyLightCut;
        const bool gated = !selective && u.noiseLevel < 1 && u.lightStrength >= kBeautyLightCut;
        const bool skipUnlessSkin = gated && std::isfinite(u.blurAlpha);
        const F one = V::set1f(1.0f);
        const F zero = V::set1f(0.0f);
        const F weightL = V::set1f(kBeautySharpenWeightLow * u.sharpen);
        const F weightM = V::set1f(kBeautySharpenWeightMid * u.sharpen);
        const F weightH = V::set1f(kBeautySharpenWeightHigh * u.sharpen);
        const typename V::Weights wy = V::uniformWeights(blurWeight);
        // The green of the three lines as floats, converted once per chunk of
        // the row rather than at each of the three columns that read it;
        // greens[line][i] is that of pixel base + i. The selective mix reads
        // red and blue as the three lines' sums, red in the low 16 bits of
        // columns[i] and blue in the high (nine bytes' sums fit).
        float greens[3][kMixChunk + 2];
        uint32_t columns[kMixChunk + 2];
        int base = 0;
        auto green = [&](int line, int at) { return V::Ops::loadf(greens[line] + (at - base)); };
        // The 3 x 3 means of red and blue around the N pixels from x on.
        auto nineMeans = [&](int x, F& red, F& blue) KELVO_BEAUTY_INLINE {
            auto column = [&](int at) {
                return load(reinterpret_cast<const uint8_t*>(columns + (at - base)));
            };
            const I sum = V::add(V::add(column(x - 1), column(x)), column(x + 1));
            const F scale = V::set1f(static_cast<float>(1.0 / (9.0 * 255.0)));
            red = V::mul(V::toFloat(V::andi(sum, V::set1(0xffff))), scale);
            blue = V::mul(V::toFloat(V::template srli<16>(sum)), scale);
        };
        // The colour of the N pixels from x on before grading.
        auto shade = [&](int x, F colour[3]) KELVO_BEAUTY_INLINE {
            const I centre = load(row + x * 4);
            const F r = texel<0>(centre), g = green(1, x), b = texel<2>(centre);

            F skin;
            F smooth[3] = {r, g, b};
            if (selective) {
                const I pre = V::blend(load(blur0 + x * 4), load(blur1 + x * 4), wy);
                const F mean[4] = {texel<0>(pre), texel<1>(pre), texel<2>(pre), texel<3>(pre)};
                skin = selectiveSkin(mean);
                // Green's variance over the 3 x 3 neighbourhood: texture
                // finer than the half-size departure map resolves.
                const F at[9] = {green(2, x + 1), green(0, x - 1), green(2, x - 1),
                                 green(0, x + 1), green(1, x + 1), green(1, x - 1),
                                 green(2, x),     green(0, x),     g};
                F m = at[0];
                for (int i = 1; i < 9; ++i) m = V::add(m, at[i]);
                m = V::mul(m, V::set1f(kNineTapWeight));
                F spread = zero;
                for (int i = 0; i < 9; ++i) {
                    const F d = V::sub(at[i], m);
                    spread = V::add(spread, V::mul(d, d));
                }
                spread = V::mul(spread, V::set1f(kNineTapWeight));
                // Relative to the level, as a white balance or exposure
                // scales it.
                spread = V::div(spread, V::add(V::mul(m, m), V::set1f(kBeautySelectiveFineFloor)));
                const F offset = V::sub(m, mean[1]);
                const F follow = V::mul(
                    ramp(V::fandnot(V::set1f(-0.0f), offset), kBeautySelectiveLevel), offset);
                const F keep = V::mul(V::sub(one, ramp(spread, kBeautySelectiveFine)),
                                      V::sub(one, ramp(mean[3], kBeautySelectiveEdge)));
                const F k = V::mul(V::mul(skin, keep), selectiveAlpha);
                // Red and blue keep the 3 x 3 mean's departure from its
                // green, so the blurred mean's level is taken but not the
                // colour of the surfaces it reaches. Kept within 0..1: the
                // gradings read tables by colour.
                const F level = V::add(mean[1], follow);
                F local[3];
                nineMeans(x, local[0], local[2]);
                for (int c = 0; c < 3; c += 2) {
                    const F target = V::max(V::min(V::add(V::sub(local[c], m), level), one), zero);
                    smooth[c] = lerp(smooth[c], target, k);
                }
                smooth[1] = lerp(smooth[1], V::max(V::min(level, one), zero), k);
            } else {
                F skinMask;
                if (broadSkinTest) {
                    const F hi = V::max(V::max(r, g), b);
                    const F lo = V::min(V::min(r, g), b);
                    const F rg = V::fandnot(V::set1f(-0.0f), V::sub(r, g));
                    skinMask = V::fand(
                        V::fand(V::fand(V::cmpgt(r, V::set1f(kBeautySkinMinRed)),
                                        V::cmpgt(g, V::set1f(kBeautySkinMinGreen))),
                                V::fand(V::cmpgt(b, V::set1f(kBeautySkinMinBlue)),
                                        V::cmpgt(V::sub(hi, lo), V::set1f(kBeautySkinSpread)))),
                        V::fand(V::cmpgt(rg, V::set1f(kBeautySkinSpread)),
                                V::fand(V::cmpgt(r, g), V::cmpgt(r, b))));
                } else {
                    const F rg = V::fandnot(V::set1f(-0.0f), V::sub(r, g));
                    skinMask =
                        V::fand(V::fand(V::fand(V::cmpgt(r, V::set1f(kBeautyBrightSkinMinRed)),
                                                V::cmpgt(g, V::set1f(kBeautyBrightSkinMinGreen))),
                                        V::fand(V::cmpgt(b, V::set1f(kBeautyBrightSkinMinBlue)),
                                                V::cmple(rg, V::set1f(kBeautySkinSpread)))),
                                V::fand(V::cmpgt(r, b), V::cmpgt(g, b)));
                }
                skin = V::fand(skinMask, one);

                // Gated off everywhere, the finite k becomes +-0, which leaves
                // each channel as it is: the blurred read and its weight are moot.
                if (!(skipUnlessSkin && V::noneSet(skinMask))) {
                    const I pre = V::blend(load(blur0 + x * 4), load(blur1 + x * 4), wy);
                    const F mean[4] = {texel<0>(pre), texel<1>(pre), texel<2>(pre), texel<3>(pre)};

                    const F redFloor = V::sub(mean[0], V::set1f(kBeautyRedFloorOffset));
                    const F p0 = V::mul(V::sub(V::min(r, redFloor), V::set1f(kBeautyRedRampStart)),
                                        V::set1f(kBeautyRedRampGain));
                    const F p = V::max(V::min(p0, one), zero);
                    F k = V::mul(
                        V::mul(V::sub(one,
                                      V::div(mean[3], V::add(mean[3], V::set1f(kBeautyEdgeTheta)))),
                               p),
                        V::set1f(u.blurAlpha));
                    const F band = select(
                        V::cmpgt(k, V::set1f(1.0f - kBeautyBandValue[0])),
                        V::set1f(kBeautyBandBlur[0]),
                        select(V::cmpgt(k, V::set1f(1.0f - kBeautyBandValue[1])),
                               V::set1f(kBeautyBandBlur[1]),
                               select(V::cmpgt(k, V::set1f(1.0f - kBeautyBandValue[2])),
                                      V::set1f(kBeautyBandBlur[2]), V::set1f(kBeautyBandBlur[3]))));
                    k = V::mul(k, band);
                    if (gated) k = V::mul(k, skin);
                    for (int c = 0; c < 3; ++c) smooth[c] = lerp(smooth[c], mean[c], k);
                }
            }

            F sum = V::add(green(2, x + 1), green(0, x - 1));
            sum = V::add(sum, green(2, x - 1));
            sum = V::add(sum, green(0, x + 1));
            sum = V::add(sum, green(1, x + 1));
            sum = V::add(sum, green(1, x - 1));
            sum = V::add(sum, green(2, x));
            sum = V::add(sum, green(0, x));
            sum = V::mul(V::add(sum, g), V::set1f(kNineTapWeight));
            const F dif = V::sub(g, sum);
            const F low =
                u.sharpen < kBeautySharpenSkinCut ? V::mul(weightL, V::sub(one, skin)) : weightL;
            const F sharpWeight =
                select(V::cmplt(dif, V::set1f(kHighPassThresholdLow)), low,
                       select(V::cmple(dif, V::set1f(kHighPassThresholdMid)), weightM, weightH));
            const F hPass = V::add(dif, V::set1f(0.5f));
            const F up = V::cmpge(hPass, V::set1f(0.5f));
            for (int c = 0; c < 3; ++c) {
                const F t = V::sub(V::add(V::mul(V::set1f(2.0f), hPass), smooth[c]), one);
                const F sharp = select(up, V::min(t, one), V::max(t, zero));
                colour[c] = lerp(smooth[c], sharp, sharpWeight);
            }
        };
        // Groups of vectors graded table by table keep several reads in
        // flight: one vector's gradings are a long chain of dependent steps.
        constexpr int kGroup = 4;
        auto span = [&](int x, int count) {
            F colours[kGroup][3];
            for (int k = 0; k < count; ++k) shade(x + k * N, colours[k]);
            if (u.grading.entries) {
                for (int k = 0; k < count; ++k)
                    kelvo::video::cubeLookup<typename V::Ops>(u.grading, colours[k]);
            } else if constexpr (N == 1) {
                // A colour at a time is how the portable grading goes.
                for (int k = 0; k < count; ++k) BeautyGradeRow_C(u, colours[k], 1);
            } else {
                if (u.enableLut > 0 && u.ruddyDegree != 0.0f) {
                    for (int k = 0; k < count; ++k) grade(colours[k], u.ruddy, u.ruddyDegree);
                }
                if (u.enableLut > 0 && u.whiteDegree != 0.0f) {
                    for (int k = 0; k < count; ++k) grade(colours[k], u.whiten, u.whiteDegree);
                }
            }
            for (int k = 0; k < count; ++k) {
                const F* c = colours[k];
                V::store(dst + (x + k * N) * 4,
                         pack(unorm(c[0]), unorm(c[1]), unorm(c[2]), V::set1(255)));
            }
        };
        const uint8_t* const lines[3] = {above, row, below};
        auto pad = [&](int from, int to) {
            for (int l = 0; l < 3; ++l) greens[l][to] = greens[l][from];
            if (selective) columns[to] = columns[from];
        };
        if (selective) {
            const I redBlue = V::set1(0x00ff00ff);
            walkChunks<N, kGroup>(
                width, base,
                [&](int pixel, int slot) KELVO_BEAUTY_INLINE {
                    I sum = V::set1(0);
                    for (int l = 0; l < 3; ++l) {
                        const I pixels = load(lines[l] + pixel * 4);
                        V::Ops::storef(greens[l] + slot, texel<1>(pixels));
                        sum = V::add(sum, V::andi(pixels, redBlue));
                    }
                    V::store(reinterpret_cast<uint8_t*>(columns + slot), sum);
                },
                pad, span);
        } else {
            walkChunks<N, kGroup>(
                width, base,
                [&](int pixel, int slot) KELVO_BEAUTY_INLINE {
                    for (int l = 0; l < 3; ++l)
                        V::Ops::storef(greens[l] + slot, texel<1>(load(lines[l] + pixel * 4)));
                },
                pad, span);
        }
    }
};

}  // namespace kelvo::video
