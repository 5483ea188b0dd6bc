// The strong denoiser's instruction-set rows against the portable ones, on
// random rows with odd widths and unaligned pointers, and whole pictures
// through both.
#include "denoise/temporal_rows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <type_traits>
#include <vector>

#include "denoise/strong_denoiser.h"

namespace kelvo {
namespace video {
namespace {

constexpr int kWidths[] = {1, 7, 15, 16, 17, 31, 33, 64, 67, 203};
constexpr int kOffsets[] = {0, 1, 3};
constexpr int kPad = 4;  // readable samples before and after every row

struct Isa {
    const char* name;
    TemporalRowsIsa isa;
};
constexpr Isa kIsas[] = {{"SSE2", TemporalRowsIsa::kSSE2}, {"AVX2", TemporalRowsIsa::kAVX2}};

std::vector<uint8_t> randomBytes(std::mt19937& rng, size_t n, int maxValue = 255) {
    std::uniform_int_distribution<int> d(0, maxValue);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(d(rng));
    return v;
}

std::vector<uint16_t> randomWords(std::mt19937& rng, size_t n, int maxValue) {
    std::uniform_int_distribution<int> d(0, maxValue);
    std::vector<uint16_t> v(n);
    for (auto& w : v) w = static_cast<uint16_t>(d(rng));
    return v;
}

// Calls `check(rows, width, offset, rng)` for every available variant,
// width and offset.
template <typename Check>
void forEachCase(Check check) {
    int variants = 0;
    for (const Isa& isa : kIsas) {
        const TemporalRows* rows = temporalRowsFor(isa.isa);
        if (!rows) continue;
        ++variants;
        std::mt19937 rng(11);
        for (int width : kWidths)
            for (int offset : kOffsets) {
                SCOPED_TRACE(testing::Message()
                             << isa.name << " width " << width << " offset " << offset);
                check(*rows, width, offset, rng);
            }
    }
    if (!variants) GTEST_SKIP() << "no instruction-set rows on this processor";
}

TEST(TemporalRowsSimd, ColumnSumsEqualPortable) {
    forEachCase([](const TemporalRows& rows, int width, int offset, std::mt19937& rng) {
        std::vector<std::vector<uint8_t>> in;
        for (int i = 0; i < 6; ++i) in.push_back(randomBytes(rng, width + offset));
        const uint8_t* p[6];
        for (int i = 0; i < 6; ++i) p[i] = in[i].data() + offset;
        for (int accumulate : {0, 1}) {
            const auto start = randomWords(rng, width + offset, 765);
            auto sumC = start, sumFast = start;
            std::vector<uint16_t> blurC(width + offset), blurFast(width + offset);
            columnSumsC(p[0], p[1], p[2], p[3], p[4], p[5], sumC.data() + offset,
                        blurC.data() + offset, width, accumulate);
            rows.columnSums(p[0], p[1], p[2], p[3], p[4], p[5], sumFast.data() + offset,
                            accumulate ? nullptr : blurFast.data() + offset, width, accumulate);
            EXPECT_EQ(sumC, sumFast);
            if (!accumulate) {
                EXPECT_EQ(blurC, blurFast);
            }
        }
    });
}

TEST(TemporalRowsSimd, WeightsEqualPortable) {
    // Ramps across the clamps: a steep one, a wide one, the full-weight floor.
    const TemporalRamp ramps[] = {makeTemporalRamp(40, 60, 16), makeTemporalRamp(0, 4095, 1),
                                  makeTemporalRamp(3000, 3001, 128)};
    forEachCase([&](const TemporalRows& rows, int width, int offset, std::mt19937& rng) {
        // Sums up to the documented 8191, so the 3x3 sums reach 24573.
        const auto sum = randomWords(rng, width + offset + 2 * kPad, 8191);
        const auto floor = randomBytes(rng, width + offset, 128);
        for (const TemporalRamp& ramp : ramps)
            for (bool withFloor : {false, true}) {
                std::vector<uint8_t> c(width + offset), fast(width + offset);
                const uint16_t* s = sum.data() + kPad + offset;
                const uint8_t* f = withFloor ? floor.data() + offset : nullptr;
                temporalWeightsC(s, f, c.data() + offset, width, ramp);
                rows.weights(s, f, fast.data() + offset, width, ramp);
                EXPECT_EQ(c, fast);
            }
    });
}

TEST(TemporalRowsSimd, BlendAndMaxHalveEqualPortable) {
    forEachCase([](const TemporalRows& rows, int width, int offset, std::mt19937& rng) {
        const auto reference = randomBytes(rng, width + offset);
        const auto source = randomBytes(rng, width + offset);
        const auto weight = randomBytes(rng, width + offset, 128);
        const auto blur = randomWords(rng, width + offset + 2 * kPad, 1020);
        for (int limit : {0, 3, 255})
            for (bool withBlur : {false, true}) {
                std::vector<uint8_t> c(width + offset), fast(width + offset);
                const uint16_t* b = withBlur ? blur.data() + kPad + offset : nullptr;
                temporalBlendC(reference.data() + offset, source.data() + offset, b, limit,
                               weight.data() + offset, c.data() + offset, width);
                rows.blend(reference.data() + offset, source.data() + offset, b, limit,
                           weight.data() + offset, fast.data() + offset, width);
                EXPECT_EQ(c, fast);
            }
        const auto a = randomBytes(rng, 2 * width + offset),
                   b = randomBytes(rng, 2 * width + offset);
        std::vector<uint8_t> c(width), fast(width);
        maxHalveC(a.data() + offset, b.data() + offset, c.data(), width);
        rows.maxHalve(a.data() + offset, b.data() + offset, fast.data(), width);
        EXPECT_EQ(c, fast);
    });
}

// Noisy frames with a moving bar, through the whole picture filter with each
// variant: every plane of every frame equal. Sizes down to one sample, where
// only the edge handling runs.
TEST(TemporalRowsSimd, WholePicturesEqualPortable) {
    struct Size {
        int width, height;
    };
    int variants = 0;
    for (const Size size : {Size{1, 1}, Size{3, 2}, Size{67, 45}}) {
        const int w = size.width, h = size.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
        std::mt19937 rng(5);
        std::normal_distribution<double> noise(0, 9);
        auto frame = [&](int n) {
            std::vector<uint8_t> f(w * h + 2 * cw * ch);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const double v = (x > 4 * n && x < 4 * n + 12 ? 200 : 60 + x) + noise(rng);
                    f[y * w + x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
                }
            for (size_t i = w * h; i < f.size(); ++i) f[i] = static_cast<uint8_t>(120 + noise(rng));
            return f;
        };
        auto planes = [&](auto* data) {
            using Byte = std::remove_pointer_t<decltype(data)>;
            return I420Planes<Byte>{{data, data + w * h, data + w * h + cw * ch}, {w, cw, cw}};
        };
        for (const Isa& isa : kIsas) {
            const TemporalRows* rows = temporalRowsFor(isa.isa);
            if (!rows) continue;
            ++variants;
            StrongTemporalDenoiser portable(*temporalRowsFor(TemporalRowsIsa::kPortable)),
                fast(*rows);
            portable.resize(w, h);
            fast.resize(w, h);
            std::vector<uint8_t> refC = frame(0), refFast = refC;
            for (int n = 1; n < 8; ++n) {
                const std::vector<uint8_t> in = frame(n);
                std::vector<uint8_t> outC(in.size()), outFast(in.size());
                portable.denoise(planes(static_cast<const uint8_t*>(refC.data())),
                                 planes(in.data()), planes(outC.data()));
                fast.denoise(planes(static_cast<const uint8_t*>(refFast.data())), planes(in.data()),
                             planes(outFast.data()));
                ASSERT_EQ(outC, outFast) << isa.name << " " << w << "x" << h << " frame " << n;
                refC = outC;
                refFast = outFast;
            }
        }
    }
    if (!variants) GTEST_SKIP() << "no instruction-set rows on this processor";
}

}  // namespace
}  // namespace video
}  // namespace kelvo
