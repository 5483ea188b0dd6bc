// The denoiser's block kernels and blends (denoise/denoiser_rows.h) and the
// strong level's temporal rows (denoise/temporal_rows.h).
#include <algorithm>
#include <type_traits>

#include "checkasm/checkasm.h"
#include "denoise/denoiser_blend.h"
#include "denoise/denoiser_rows.h"
#include "denoise/strong_denoiser.h"
#include "denoise/temporal_rows.h"

namespace kelvo {
namespace video {
namespace {

using namespace checkasm;

constexpr const char* kFamily = "denoiser";

// A 16x16 block at a random offset in rows `stride` bytes apart (random,
// odd now and then), with guard bytes around the plane.
struct Block {
    Block(Random& r, int minStride = 16)
        : stride(minStride + r.between(0, 20)),
          plane(static_cast<size_t>(stride) * 15 + 16, r.offset()) {
        r.fill(plane.data(), plane.size());
    }
    uint8_t& at(int x, int y) { return plane.data()[y * stride + x]; }
    int stride;
    Guarded plane;
};

// The reference as the source plus a difference within +-spread, so that
// every adjustment band and both clamps are reached; above 255 at random.
void nearSource(Random& r, Block& source, Block& reference, int spread) {
    if (spread > 255) return;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            reference.at(x, y) = static_cast<uint8_t>(
                std::clamp(source.at(x, y) + r.between(-spread, spread), 0, 255));
}

TEST(Checkasm, DenoiserBlockKernels) {
    const DenoiserRows portable = denoiserRowsFor(0);
    DenoiserRows below = portable;
    const int spreads[] = {0, 3, 5, 9, 18, 40, 256};
    for (const CpuLevel& level : fastLevels()) {
        const DenoiserRows fast = denoiserRowsFor(level.flags);
        Random r(29);
        if (check(fast.denoiseBlock, below.denoiseBlock, kFamily, "denoiseBlock", level)) {
            for (int t = 0; t < 20 * kTrials; ++t) {
                Block source(r), reference(r);
                nearSource(r, source, reference, spreads[t % 7]);
                // Uniform differences now and then: column sums at and past the cap.
                if (t % 13 == 0) {
                    const int d = r.between(-30, 30);
                    for (int y = 0; y < 16; ++y)
                        for (int x = 0; x < 16; ++x)
                            source.at(x, y) = 120,
                                         reference.at(x, y) = static_cast<uint8_t>(120 + d);
                }
                const int strong = t % 2, outStride = 16 + r.between(0, 20);
                OutputPair out(static_cast<size_t>(outStride) * 15 + 16, r.offset());
                int sumRef = -1, sumFast = -2;
                const BlockDecision a = portable.denoiseBlock(
                    reference.plane.data(), reference.stride, out.ref.data(), outStride,
                    source.plane.data(), source.stride, 0, strong, &sumRef);
                const BlockDecision b = fast.denoiseBlock(
                    reference.plane.data(), reference.stride, out.fast.data(), outStride,
                    source.plane.data(), source.stride, 0, strong, t % 17 ? &sumFast : nullptr);
                const std::string at = where(level, "denoiseBlock", 16, t);
                EXPECT_EQ(a, b) << at;
                if (t % 17) {
                    EXPECT_EQ(sumRef, sumFast) << at;
                }
                out.expectSame(at);
                if (HasFailure()) return;
            }
        }
        if (check(fast.variance16x8, below.variance16x8, kFamily, "variance16x8", level)) {
            for (int t = 0; t < 20 * kTrials; ++t) {
                Block a(r), b(r);
                nearSource(r, a, b, spreads[t % 7]);
                // Extremes: 0 against 255 either way, and alternating extremes whose sum cancels.
                if (t % 11 == 0) {
                    const int pattern = r.between(0, 2);
                    for (int y = 0; y < 16; ++y)
                        for (int x = 0; x < 16; ++x) {
                            const bool high = pattern == 0 || (pattern == 2 && (x + y) % 2 == 0);
                            a.at(x, y) = high ? 255 : 0;
                            b.at(x, y) = high ? 0 : 255;
                        }
                }
                uint32_t sseRef = 1, sseFast = 2;
                const std::string at = where(level, "variance16x8", 16, t);
                EXPECT_EQ(
                    portable.variance16x8(a.plane.data(), a.stride, b.plane.data(), b.stride,
                                          &sseRef),
                    fast.variance16x8(a.plane.data(), a.stride, b.plane.data(), b.stride, &sseFast))
                    << at;
                EXPECT_EQ(sseRef, sseFast) << at;
                EXPECT_EQ(
                    portable.variance16x8(a.plane.data(), a.stride, b.plane.data(), b.stride,
                                          nullptr),
                    fast.variance16x8(a.plane.data(), a.stride, b.plane.data(), b.stride, nullptr))
                    << at;
                if (HasFailure()) return;
            }
        }
        if (check(fast.copyBlock16x16, below.copyBlock16x16, kFamily, "copyBlock16x16", level)) {
            for (int t = 0; t < kTrials; ++t) {
                Block src(r);
                const int stride = 16 + r.between(0, 20);
                OutputPair out(static_cast<size_t>(stride) * 15 + 16, r.offset());
                portable.copyBlock16x16(src.plane.data(), src.stride, out.ref.data(), stride);
                fast.copyBlock16x16(src.plane.data(), src.stride, out.fast.data(), stride);
                out.expectSame(where(level, "copyBlock16x16", 16, t));
            }
        }
        below = fast;
    }
}

// A 256 x 256 plane per operand, reference = row, source = column, so that
// its 256 blocks hold every pair of samples once.
struct AllPairs {
    static constexpr int kStride = 256 + 7;  // odd, and rows start unaligned
    AllPairs() : reference(size_t(kStride) * 256, 3), source(reference.size(), 3) {
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                reference.data()[size_t(y) * kStride + x] = static_cast<uint8_t>(y);
                source.data()[size_t(y) * kStride + x] = static_cast<uint8_t>(x);
            }
    }
    // blend(reference, source, out) over every block, both ways.
    template <class Blend>
    void compare(Blend portable, Blend fast, const std::string& at) const {
        OutputPair out(reference.size(), 5);
        for (int by = 0; by < 256; by += 16)
            for (int bx = 0; bx < 256; bx += 16) {
                const size_t o = size_t(by) * kStride + bx;
                portable(reference.data() + o, source.data() + o, out.ref.data() + o);
                fast(reference.data() + o, source.data() + o, out.fast.data() + o);
            }
        out.expectSame(at);
    }
    Guarded reference, source;
};

TEST(Checkasm, DenoiserBlends) {
    const DenoiserRows portable = denoiserRowsFor(0);
    DenoiserRows below = portable;
    const AllPairs pairs;
    constexpr int st = AllPairs::kStride;
    for (const CpuLevel& level : fastLevels()) {
        const DenoiserRows fast = denoiserRowsFor(level.flags);
        if (check(fast.blendMoving, below.blendMoving, kFamily, "blendMoving", level)) {
            auto run = [](decltype(portable.blendMoving) blend) {
                return [blend](const uint8_t* ref, const uint8_t* src, uint8_t* out) {
                    blend(ref, st, src, st, out, st);
                };
            };
            pairs.compare(run(portable.blendMoving), run(fast.blendMoving),
                          where(level, "blendMoving", 16, 0));
        }
        if (check(fast.blendStatic, below.blendStatic, kFamily, "blendStatic", level)) {
            // The two weights in use, the ends, some whose products round,
            // two just above 0.5 (where the sums near 2^31), and weights
            // outside 0..1.
            for (float w : {0.7f, 0.5f, 0.0f, 1.0f, 0.3f, 0.123f, 0.9999f, 0.25f, 0.5001f, 0.502f,
                            1.5f, -0.5f}) {
                auto run = [w](decltype(portable.blendStatic) blend) {
                    return [blend, w](const uint8_t* ref, const uint8_t* src, uint8_t* out) {
                        blend(ref, st, src, st, out, st, w);
                    };
                };
                pairs.compare(run(portable.blendStatic), run(fast.blendStatic),
                              where(level, "blendStatic", 16, 0) + " weight " + std::to_string(w));
            }
        }
        below = fast;
    }
}

TEST(Checkasm, TemporalRows) {
    const TemporalRows portable = temporalRowsFor(0);
    TemporalRows below = portable;
    constexpr int kPad = 4;  // readable samples before and after the rows that read beyond
    auto words = [](Random& r, int n, int max) {
        Input g(r, 2 * static_cast<size_t>(n), 2);
        for (int i = 0; i < n; ++i) g.as<uint16_t>()[i] = static_cast<uint16_t>(r.between(0, max));
        return g;
    };
    auto bytes = [](Random& r, int n, int max) {
        Input g = randomInput(r, n);
        for (int i = 0; i < n; ++i) g.data()[i] = static_cast<uint8_t>(g.data()[i] % (max + 1));
        return g;
    };
    for (const CpuLevel& level : fastLevels()) {
        const TemporalRows fast = temporalRowsFor(level.flags);
        Random r(31);
        if (check(fast.columnSums, below.columnSums, "temporal", "columnSums", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width(), accumulate = t % 2;
                const Input s0 = randomInput(r, w), r0 = randomInput(r, w), s1 = randomInput(r, w),
                            r1 = randomInput(r, w), s2 = randomInput(r, w), r2 = randomInput(r, w);
                const Input start = words(r, w, 765);
                OutputPair sum(2 * static_cast<size_t>(w), 2 * (r.offset() / 2));
                std::memcpy(sum.ref.data(), start.data(), 2 * w);
                std::memcpy(sum.fast.data(), start.data(), 2 * w);
                OutputPair blur(2 * static_cast<size_t>(w), 2 * (r.offset() / 2));
                const bool withBlur = t % 4 < 2;
                portable.columnSums(s0.data(), r0.data(), s1.data(), r1.data(), s2.data(),
                                    r2.data(), sum.ref.as<uint16_t>(),
                                    withBlur ? blur.ref.as<uint16_t>() : nullptr, w, accumulate);
                fast.columnSums(s0.data(), r0.data(), s1.data(), r1.data(), s2.data(), r2.data(),
                                sum.fast.as<uint16_t>(),
                                withBlur ? blur.fast.as<uint16_t>() : nullptr, w, accumulate);
                sum.expectSame(where(level, "columnSums", w, t));
                blur.expectSame(where(level, "columnSums (blur)", w, t));
            }
        }
        if (check(fast.weights, below.weights, "temporal", "weights", level)) {
            // Ramps across the clamps: a steep one, a wide one, the full-weight floor.
            const TemporalRamp ramps[] = {makeTemporalRamp(40, 60, 16),
                                          makeTemporalRamp(0, 4095, 1),
                                          makeTemporalRamp(3000, 3001, 128)};
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                // Sums up to the documented 8191, so the 3x3 sums reach 24573.
                const Input sums = words(r, w + 2 * kPad, 8191);
                const Input floor = bytes(r, w, 128);
                OutputPair out(w, r.offset());
                const uint16_t* s = sums.as<uint16_t>() + kPad;
                const uint8_t* f = t % 2 ? floor.data() : nullptr;
                portable.weights(s, f, out.ref.data(), w, ramps[t % 3]);
                fast.weights(s, f, out.fast.data(), w, ramps[t % 3]);
                out.expectSame(where(level, "weights", w, t));
            }
        }
        if (check(fast.blend, below.blend, "temporal", "blend", level)) {
            const int limits[] = {0, 3, 255};
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Input reference = randomInput(r, w), source = randomInput(r, w),
                            weight = bytes(r, w, 128);
                const Input blur = words(r, w + 2 * kPad, 1020);
                const uint16_t* b = t % 2 ? blur.as<uint16_t>() + kPad : nullptr;
                OutputPair out(w, r.offset());
                portable.blend(reference.data(), source.data(), b, limits[t % 3], weight.data(),
                               out.ref.data(), w);
                fast.blend(reference.data(), source.data(), b, limits[t % 3], weight.data(),
                           out.fast.data(), w);
                out.expectSame(where(level, "blend", w, t));
            }
        }
        if (check(fast.maxHalve, below.maxHalve, "temporal", "maxHalve", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Input a = randomInput(r, 2 * w), b = randomInput(r, 2 * w);
                OutputPair out(w, r.offset());
                portable.maxHalve(a.data(), b.data(), out.ref.data(), w);
                fast.maxHalve(a.data(), b.data(), out.fast.data(), w);
                out.expectSame(where(level, "maxHalve", w, t));
            }
        }
        below = fast;
    }
}

// Noisy frames with a moving bar through the whole strong filter and the
// whole luma pass, the outputs fed back as references, at each level:
// every plane of every frame equal. Sizes down to one sample, where only
// the edge handling runs.
TEST(Checkasm, DenoiserWholePictures) {
    for (const CpuLevel& level : fastLevels()) {
        struct Size {
            int width, height;
        };
        for (const Size size : {Size{1, 1}, Size{3, 2}, Size{67, 45}, Size{333, 211}}) {
            const int w = size.width, h = size.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
            Random r(37);
            auto frame = [&](int n) {
                std::vector<uint8_t> f(w * h + 2 * cw * ch);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const int v = (x > 4 * n && x < 4 * n + 12 ? 200 : 60 + x % 150) +
                                      r.between(-9, 9) * (n % 3 + 1);
                        f[y * w + x] = static_cast<uint8_t>(std::clamp(v, 0, 255));
                    }
                for (size_t i = w * h; i < f.size(); ++i)
                    f[i] = static_cast<uint8_t>(120 + r.between(-9, 9));
                return f;
            };
            auto planes = [&](auto* data) {
                using Byte = std::remove_pointer_t<decltype(data)>;
                return I420Planes<Byte>{{data, data + w * h, data + w * h + cw * ch}, {w, cw, cw}};
            };
            StrongTemporalDenoiser portable(temporalRowsFor(0)), fast(temporalRowsFor(level.flags));
            portable.resize(w, h);
            fast.resize(w, h);
            const std::unique_ptr<DenoiserFilter> filterRef = denoiserFilterFor(denoiserRowsFor(0)),
                                                  filterFast = denoiserFilterFor(
                                                      denoiserRowsFor(level.flags));
            NoiseEstimator estRef{}, estFast{};
            estRef.init(w, h);
            estFast.init(w, h);
            DenoiserBlockMaps mapsRef, mapsFast;
            std::vector<uint8_t> strongRef = frame(0), strongFast = strongRef, lumaRef = strongRef,
                                 lumaFast = strongRef;
            for (int n = 1; n < 8; ++n) {
                const std::vector<uint8_t> in = frame(n);
                std::vector<uint8_t> outRef(in.size()), outFast(in.size());
                portable.denoise(planes(static_cast<const uint8_t*>(strongRef.data())),
                                 planes(in.data()), planes(outRef.data()));
                fast.denoise(planes(static_cast<const uint8_t*>(strongFast.data())),
                             planes(in.data()), planes(outFast.data()));
                ASSERT_EQ(outRef, outFast)
                    << level.name << " strong filter " << w << "x" << h << " frame " << n;
                strongRef = outRef, strongFast = outFast;
                const int a = denoiseLumaPlane(*filterRef, &estRef, lumaRef.data(), in.data(),
                                               outRef.data(), w, w, h, mapsRef, denoiserRowsFor(0));
                const int b = denoiseLumaPlane(*filterFast, &estFast, lumaFast.data(), in.data(),
                                               outFast.data(), w, w, h, mapsFast,
                                               denoiserRowsFor(level.flags));
                ASSERT_EQ(a, b);
                ASSERT_EQ(outRef, outFast)
                    << level.name << " luma pass " << w << "x" << h << " frame " << n;
                ASSERT_EQ(mapsRef.blockDifference, mapsFast.blockDifference);
                lumaRef = outRef, lumaFast = outFast;
            }
        }
        cover(kFamily, "whole pictures", level.name);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
