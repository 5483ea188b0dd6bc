// The beauty rows (effects/beauty/cpu/beauty_rows.h).
#include <algorithm>
#include <cstring>
#include <vector>

#include "checkasm/checkasm.h"
#include "effects/beauty/beauty_model.h"
#include "effects/beauty/cpu/beauty_rows.h"

namespace kelvo {
namespace video {
namespace {

using namespace checkasm;

constexpr const char* kFamily = "beauty";
constexpr uint32_t kHalfway = 128 | 128 << 16;

// Often halfway, as the effect's reads at half and double size are.
uint32_t randomWeights(Random& r) {
    if (r.bits() % 4 == 0) return kHalfway;
    const uint32_t f = r.bits() % 257;  // 256: the next texel alone
    return (256 - f) | f << 16;
}

// Random pixels with `margin` readable pixels either side.
struct Line {
    Line(Random& r, int width, int margin = 0)
        : bytes(r, 4 * static_cast<size_t>(width + 2 * margin)), margin(margin) {}
    const uint8_t* pixels() const { return bytes.data() + 4 * margin; }
    Input bytes;
    int margin;
};

// Runs `run` with the portable and the fast rows into fresh outputs of
// `pixels` pixels and compares them.
template <class Run>
void compare(Random& r, const CpuLevel& level, const char* row, int width, int trial, int pixels,
             const BeautyRows& portable, const BeautyRows& fast, Run run) {
    OutputPair out(4 * static_cast<size_t>(pixels), r.offset());
    run(portable, out.ref.data());
    run(fast, out.fast.data());
    out.expectSame(where(level, row, width, trial));
}

TEST(Checkasm, BeautyRows) {
    const BeautyRows portable = beautyRowsFor(0);
    BeautyRows below = portable;
    for (const CpuLevel& level : fastLevels()) {
        const BeautyRows fast = beautyRowsFor(level.flags);
        Random r(19);
        if (check(fast.downsize, below.downsize, kFamily, "downsize", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width(), srcWidth = 2 * w + 1;
                const Line src(r, srcWidth);
                // Columns at random, halving and doubling, clamped at the row's ends.
                std::vector<int32_t> x0(w), x1(w);
                std::vector<uint32_t> weights(w);
                for (int i = 0; i < w; ++i) {
                    x0[i] = t % 3 == 0   ? static_cast<int>(r.bits() % srcWidth)
                            : t % 3 == 1 ? 2 * i
                                         : std::max(i / 2 - (i % 2 == 0), 0);
                    x1[i] = std::min(x0[i] + 1, srcWidth - 1);
                    weights[i] = t % 3 == 1 ? kHalfway : randomWeights(r);
                }
                compare(r, level, "downsize", w, t, w, portable, fast,
                        [&](const BeautyRows& rows, uint8_t* dst) {
                            rows.downsize(src.pixels(), x0.data(), x1.data(), weights.data(), dst,
                                          w);
                        });
            }
        }
        if (check(fast.halve, below.halve, kFamily, "halve", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Line src(r, 2 * w);
                compare(r, level, "halve", w, t, w, portable, fast,
                        [&](const BeautyRows& rows, uint8_t* dst) {
                            rows.halve(src.pixels(), dst, w);
                        });
            }
        }
        if (check(fast.doubled, below.doubled, kFamily, "doubled", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Line src(r, w, 1);
                compare(r, level, "doubled", w, t, 2 * w, portable, fast,
                        [&](const BeautyRows& rows, uint8_t* dst) {
                            rows.doubled(src.pixels(), dst, w);
                        });
            }
        }
        if (check(fast.blurRgbColumn, below.blurRgbColumn, kFamily, "blurRgbColumn", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                std::vector<Line> lines;
                for (int k = 0; k < 18; ++k) lines.emplace_back(r, w);
                BeautyColumnTaps taps;
                for (int k = 0; k < 18; ++k) taps.rows[k] = lines[k].pixels();
                // All halfway as even heights give, or at random.
                for (auto& weight : taps.weights) weight = t % 2 ? kHalfway : randomWeights(r);
                compare(r, level, "blurRgbColumn", w, t, w, portable, fast,
                        [&](const BeautyRows& rows, uint8_t* dst) {
                            rows.blurRgbColumn(taps, dst, w);
                        });
            }
        }
        if (check(fast.soften2, below.soften2, kFamily, "soften2", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Line blur(r, w, kBeautyRowMargin), in0(r, w), in1(r, w);
                const uint32_t weight = randomWeights(r);
                compare(r, level, "soften2", w, t, w, portable, fast,
                        [&](const BeautyRows& rows, uint8_t* dst) {
                            rows.soften2(blur.pixels(), in0.pixels(), in1.pixels(), weight, dst, w);
                        });
            }
        }
        if (check(fast.blurAlpha, below.blurAlpha, kFamily, "blurAlpha", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Line src(r, w, kBeautyRowMargin);
                compare(r, level, "blurAlpha", w, t, w, portable, fast,
                        [&](const BeautyRows& rows, uint8_t* dst) {
                            rows.blurAlpha(src.pixels(), dst, w);
                        });
            }
        }
        if (check(fast.blurAlphaColumn, below.blurAlphaColumn, kFamily, "blurAlphaColumn", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                std::vector<Line> lines;
                const uint8_t* column[13];
                for (int k = 0; k < 13; ++k) lines.emplace_back(r, w);
                for (int k = 0; k < 13; ++k) column[k] = lines[k].pixels();
                compare(r, level, "blurAlphaColumn", w, t, w, portable, fast,
                        [&](const BeautyRows& rows, uint8_t* dst) {
                            rows.blurAlphaColumn(column, dst, w);
                        });
            }
        }
        below = fast;
    }
}

struct MixCase {
    const char* name;
    float lightStrength;
    int noiseLevel;
    float sharpen;
    int enableLut;
    bool gradingCube;
    int level = kBeautyLevelClassic;
};

const MixCase kMixCases[] = {
    {"broad skin test, gated", 130.0f, 0, 0.09f, 1, false},
    {"bright skin test, gated", 90.0f, 0, 0.25f, 1, false},
    {"ungated, strong sharpening", 130.0f, 1, 0.81f, 1, false},
    {"dim, without tables", 60.0f, 0, 0.49f, 0, false},
    {"grading cube", 130.0f, 0, 0.25f, 1, true},
    {"grading cube, bright skin test, gated", 90.0f, 0, 0.09f, 1, true},
    {"grading cube, ungated, full sharpening", 130.0f, 1, 1.0f, 1, true},
    // Colours pushed well outside 0..1: table reads clamped at every edge.
    {"overshooting sharpening", 130.0f, 1, 2.5f, 1, false},
    {"selective", 130.0f, 0, 0.25f, 1, false, kBeautyLevelSelective},
    {"selective, low-band sharpening", 60.0f, 1, 0.09f, 0, false, kBeautyLevelSelective},
};

TEST(Checkasm, BeautyMixRow) {
    Random r(23);
    std::vector<uint8_t> whiten(kBeautyTableBytes), ruddy(kBeautyTableBytes);
    r.fill(whiten.data(), whiten.size());
    r.fill(ruddy.data(), ruddy.size());
    ColorCube cube;
    cube.build(
        5,
        [&r](int, int, float* rgb) {
            for (int i = 0; i < 15; ++i) rgb[i] = static_cast<float>(r.bits() % 1000) / 999.0f;
        },
        0.0f, nullptr);
    const BeautyRows portable = beautyRowsFor(0);
    BeautyRows below = portable;
    for (const CpuLevel& level : fastLevels()) {
        const BeautyRows fast = beautyRowsFor(level.flags);
        if (!check(fast.mix, below.mix, kFamily, "mix", level)) continue;
        for (const MixCase& c : kMixCases) {
            BeautyMixUniforms u{};
            u.blurAlpha = 0.8f, u.sharpen = c.sharpen, u.lightStrength = c.lightStrength;
            u.whiteDegree = 0.7f, u.ruddyDegree = 0.49f, u.noiseLevel = c.noiseLevel;
            u.enableLut = c.enableLut, u.whiten = whiten.data(), u.ruddy = ruddy.data();
            u.level = c.level;
            u.grading = c.gradingCube ? cube.view() : ColorCubeView{nullptr, 0};
            for (int t = 0; t < kTrials / 4; ++t) {
                const int w = t == 0 ? 520 : r.width();
                const Line above(r, w), under(r, w), blur0(r, w), blur1(r, w);
                Line row(r, w);
                // Bright, warm and near-neutral pixels, so both skin tests pass now and then.
                for (int i = 0; i < w; i += 2) {
                    uint8_t* p = row.bytes.data() + i * 4;
                    p[0] = static_cast<uint8_t>(200 + r.bits() % 56);
                    p[1] = static_cast<uint8_t>(p[0] - r.bits() % 40);
                    p[2] = static_cast<uint8_t>(160 + r.bits() % 60);
                }
                const uint32_t blurWeight = randomWeights(r);
                compare(r, level, c.name, w, t, w, portable, fast,
                        [&](const BeautyRows& rows, uint8_t* dst) {
                            rows.mix(u, above.pixels(), row.pixels(), under.pixels(),
                                     blur0.pixels(), blur1.pixels(), blurWeight, dst, w);
                        });
            }
        }
        below = fast;
    }
}

// What a grading cube is built from: colours in place, some far outside
// 0..1 and some on the tables' grid, where reads land on texel centres.
TEST(Checkasm, BeautyGradeRow) {
    Random r(29);
    std::vector<uint8_t> whiten(kBeautyTableBytes), ruddy(kBeautyTableBytes);
    r.fill(whiten.data(), whiten.size());
    r.fill(ruddy.data(), ruddy.size());
    const BeautyRows portable = beautyRowsFor(0);
    BeautyRows below = portable;
    for (const CpuLevel& level : fastLevels()) {
        const BeautyRows fast = beautyRowsFor(level.flags);
        if (!check(fast.grade, below.grade, kFamily, "grade", level)) continue;
        for (const float degrees : {0.0f, 0.49f, 1.0f}) {
            BeautyMixUniforms u{};
            u.enableLut = 1, u.whiten = whiten.data(), u.ruddy = ruddy.data();
            u.ruddyDegree = degrees, u.whiteDegree = 0.7f;
            for (int t = 0; t < kTrials; ++t) {
                const int n = r.width();
                std::vector<float> colours(3 * static_cast<size_t>(n));
                for (float& c : colours) {
                    c = t % 2 ? static_cast<float>(r.between(0, 63)) / 63.0f
                              : static_cast<float>(r.between(-500, 1500)) / 1000.0f;
                }
                compare(r, level, "grade", n, t, 3 * n, portable, fast,
                        [&](const BeautyRows& rows, uint8_t* dst) {
                            std::vector<float> graded = colours;
                            rows.grade(u, graded.data(), n);
                            std::memcpy(dst, graded.data(), graded.size() * sizeof(float));
                        });
            }
        }
        below = fast;
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
