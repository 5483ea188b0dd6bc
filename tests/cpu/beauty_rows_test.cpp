// Every fast beauty row gives the portable row's bytes, like libyuv's
// C-versus-optimised tests: random input, odd widths, pointers off 4-byte
// alignment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "effects/beauty/cpu/beauty_rows.h"

namespace kelvo::video {
namespace {

constexpr int kWidths[] = {1, 2, 3, 7, 8, 9, 10, 17, 31, 64, 101, 520};

struct Buffer {
    std::vector<uint8_t> bytes;
    uint8_t* pixels;  // one byte into the storage, so never 4-byte aligned
    explicit Buffer(size_t count, std::mt19937* random) : bytes(count * 4 + 8) {
        for (auto& b : bytes) b = static_cast<uint8_t>((*random)());
        pixels = bytes.data() + 1;
    }
};

constexpr uint32_t kHalfway = 128 | 128 << 16;

// Often halfway, as the effect's reads at half and double size are.
uint32_t randomWeights(std::mt19937* random) {
    if ((*random)() % 4 == 0) return kHalfway;
    const uint32_t f = (*random)() % 257;  // 256: the next texel alone
    return (256 - f) | f << 16;
}

// Runs `run` with the portable rows and with each fast set this CPU has, on
// fresh output, and expects identical bytes.
void expectSameBytes(const char* row, int width, size_t outputBytes,
                     const std::function<void(const BeautyRows&, uint8_t*)>& run) {
    BeautyRows portable;
    ASSERT_TRUE(beautyRows(BeautyRowSet::kPortable, &portable));
    std::vector<uint8_t> expected(outputBytes + 1, 0xcd);
    run(portable, expected.data() + 1);
    const std::pair<BeautyRowSet, const char*> sets[] = {{BeautyRowSet::kSSE2, "SSE2"},
                                                        {BeautyRowSet::kAVX2, "AVX2"}};
    for (const auto& [set, name] : sets) {
        BeautyRows fast;
        if (!beautyRows(set, &fast)) continue;
        std::vector<uint8_t> actual(outputBytes + 1, 0xcd);
        run(fast, actual.data() + 1);
        EXPECT_EQ(actual, expected) << row << ", " << name << ", width " << width;
    }
}

TEST(BeautyRowsTest, FastRowsMatchThePortableRows) {
    std::mt19937 random(2024);
    for (const int width : kWidths) {
        const size_t out = static_cast<size_t>(width) * 4;
        // Columns at random, halving and doubling (clamped at the row's ends,
        // as the effect lays them out).
        const int srcWidth = 2 * width + 1;
        const struct {
            const char* name;
            std::function<int(int)> column;
            bool halfway;
        } columns[] = {
            {"downsize at random", [&](int) { return static_cast<int>(random() % srcWidth); }, false},
            {"downsize halving", [](int i) { return 2 * i; }, true},
            {"downsize doubling", [](int i) { return std::max(i / 2 - (i % 2 == 0), 0); }, false},
        };
        for (const auto& [name, column, halfway] : columns) {
            Buffer src(srcWidth, &random);
            std::vector<int32_t> x0(width), x1(width);
            std::vector<uint32_t> w(width);
            for (int i = 0; i < width; ++i) {
                x0[i] = column(i);
                x1[i] = std::min(x0[i] + 1, srcWidth - 1);
                w[i] = halfway ? kHalfway : randomWeights(&random);
            }
            expectSameBytes(name, width, out, [&](const BeautyRows& rows, uint8_t* dst) {
                rows.downsize(src.pixels, x0.data(), x1.data(), w.data(), dst, width);
            });
        }
        // Taps at random, and all halfway as even heights give.
        for (const bool halfway : {false, true}) {
            std::vector<Buffer> lines;
            for (int k = 0; k < 18; ++k) lines.emplace_back(width, &random);
            BeautyColumnTaps taps;
            for (int k = 0; k < 18; ++k) taps.rows[k] = lines[k].pixels;
            for (auto& w : taps.weights) w = halfway ? kHalfway : randomWeights(&random);
            expectSameBytes(halfway ? "blur rgb column halfway" : "blur rgb column", width, out,
                            [&](const BeautyRows& rows, uint8_t* dst) { rows.blurRgbColumn(taps, dst, width); });
        }
        {
            Buffer padded(width + 2 * kBeautyRowMargin, &random);
            Buffer in0(width, &random), in1(width, &random);
            const uint8_t* centre = padded.pixels + kBeautyRowMargin * 4;
            const uint32_t w = randomWeights(&random);
            expectSameBytes("soften 2", width, out, [&](const BeautyRows& rows, uint8_t* dst) {
                rows.soften2(centre, in0.pixels, in1.pixels, w, dst, width);
            });
            expectSameBytes("blur alpha", width, out, [&](const BeautyRows& rows, uint8_t* dst) {
                rows.blurAlpha(centre, dst, width);
            });
        }
        {
            std::vector<Buffer> lines;
            for (int k = 0; k < 13; ++k) lines.emplace_back(width, &random);
            const uint8_t* column[13];
            for (int k = 0; k < 13; ++k) column[k] = lines[k].pixels;
            expectSameBytes("blur alpha column", width, out, [&](const BeautyRows& rows, uint8_t* dst) {
                rows.blurAlphaColumn(column, dst, width);
            });
        }
    }
}

// The rows for exact halving and doubling give the general resize's bytes
// for the columns they stand for (clamped at the ends), in every set.
TEST(BeautyRowsTest, HalvingAndDoublingMatchTheGeneralResize) {
    std::mt19937 random(31);
    auto clamp = [](int i, int size) { return std::min(std::max(i, 0), size - 1); };
    for (const int width : kWidths) {
        Buffer wideSrc(2 * width, &random);
        // Doubling reads one replicated pixel beyond each end.
        Buffer padded(width + 2, &random);
        const uint8_t* narrowSrc = padded.pixels + 4;
        std::memcpy(padded.pixels, narrowSrc, 4);
        std::memcpy(padded.pixels + (width + 1) * 4, narrowSrc + (width - 1) * 4, 4);
        std::vector<int32_t> hx0(width), hx1(width), dx0(2 * width), dx1(2 * width);
        std::vector<uint32_t> hw(width, kHalfway), dw(2 * width);
        for (int i = 0; i < width; ++i) {
            hx0[i] = 2 * i, hx1[i] = 2 * i + 1;
            dx0[2 * i] = clamp(i - 1, width), dx1[2 * i] = i, dw[2 * i] = kBeautyQuarterBack;
            dx0[2 * i + 1] = i, dx1[2 * i + 1] = clamp(i + 1, width), dw[2 * i + 1] = kBeautyQuarterOn;
        }
        std::vector<uint8_t> halved(static_cast<size_t>(width) * 4), doubled(halved.size() * 2);
        BeautyDownsizeRow_C(wideSrc.pixels, hx0.data(), hx1.data(), hw.data(), halved.data(), width);
        BeautyDownsizeRow_C(narrowSrc, dx0.data(), dx1.data(), dw.data(), doubled.data(), 2 * width);
        for (const BeautyRowSet set : {BeautyRowSet::kPortable, BeautyRowSet::kSSE2, BeautyRowSet::kAVX2}) {
            BeautyRows rows;
            if (!beautyRows(set, &rows)) continue;
            std::vector<uint8_t> out(doubled.size());
            rows.halve(wideSrc.pixels, out.data(), width);
            EXPECT_TRUE(std::equal(halved.begin(), halved.end(), out.begin()))
                << "halving, set " << static_cast<int>(set) << ", width " << width;
            rows.doubled(narrowSrc, out.data(), width);
            EXPECT_EQ(out, doubled) << "doubling, set " << static_cast<int>(set) << ", width " << width;
        }
    }
}

// A table whose texel at (x, y) encodes x and y, read back cell by cell.
TEST(BeautyRowsTest, TableCellsHoldTheTexelPairsOfATwoAxisRead) {
    std::vector<uint8_t> table(static_cast<size_t>(kBeautyTableSize) * kBeautyTableSize * 4);
    auto texel = [&](int x, int y) { return &table[(static_cast<size_t>(y) * kBeautyTableSize + x) * 4]; };
    for (int y = 0; y < kBeautyTableSize; ++y) {
        for (int x = 0; x < kBeautyTableSize; ++x) {
            uint8_t* p = texel(x, y);
            p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(x >> 8 | (y >> 8) << 1), p[3] = 0xee;
        }
    }
    std::vector<uint8_t> cells(kBeautyTableBytes, 0xcd);
    beautyTableCells(table.data(), kBeautyTableSize * 4, cells.data());
    struct Row {
        const char* name;
        int cellX, cellY;
        int texels[4][2];  // top left, top right, bottom left, bottom right
    } const rows[] = {
        {"clamped_top_left", 0, 0, {{0, 0}, {0, 0}, {0, 0}, {0, 0}}},
        {"first_inner", 1, 1, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}},
        {"past_256", 300, 257, {{299, 256}, {300, 256}, {299, 257}, {300, 257}}},
        {"clamped_top_right", 512, 0, {{511, 0}, {511, 0}, {511, 0}, {511, 0}}},
        {"clamped_bottom_right", 512, 512, {{511, 511}, {511, 511}, {511, 511}, {511, 511}}},
    };
    for (const Row& r : rows) {
        std::vector<uint8_t> expected(kBeautyTableCellBytes, 0);
        for (int t = 0; t < 4; ++t) {
            const uint8_t* p = texel(r.texels[t][0], r.texels[t][1]);
            for (int c = 0; c < 3; ++c) expected[(t / 2) * 6 + 2 * c + t % 2] = p[c];
        }
        const uint8_t* cell =
            &cells[(static_cast<size_t>(r.cellY) * kBeautyTableCells + r.cellX) * kBeautyTableCellBytes];
        EXPECT_EQ(std::vector<uint8_t>(cell, cell + kBeautyTableCellBytes), expected) << r.name;
    }
}

struct MixCase {
    const char* name;
    float lightStrength;
    int noiseLevel;
    float sharpen;
    int enableLut;
    bool gradingCube;
};

const MixCase kMixCases[] = {
    {"broad_skin_test_gated", 130.0f, 0, 0.09f, 1, false},
    {"bright_skin_test_gated", 90.0f, 0, 0.25f, 1, false},
    {"ungated_strong_sharpening", 130.0f, 1, 0.81f, 1, false},
    {"dim_without_tables", 60.0f, 0, 0.49f, 0, false},
    {"grading_cube", 130.0f, 0, 0.25f, 1, true},
    // Colours pushed well outside 0..1: table reads clamped at every edge.
    {"overshooting_sharpening", 130.0f, 1, 2.5f, 1, false},
};

TEST(BeautyRowsTest, FastMixMatchesThePortableMix) {
    std::mt19937 random(77);
    std::vector<uint8_t> whiten(kBeautyTableBytes);
    std::vector<uint8_t> ruddy(whiten.size());
    for (auto& b : whiten) b = static_cast<uint8_t>(random());
    for (auto& b : ruddy) b = static_cast<uint8_t>(random());
    ColourCube cube;
    cube.build(
        5,
        [&random](int, int, float* rgb) {
            for (int i = 0; i < 15; ++i) rgb[i] = static_cast<float>(random() % 1000) / 999.0f;
        },
        0.0f, nullptr);
    for (const MixCase& c : kMixCases) {
        BeautyMixUniforms u{};
        u.blurAlpha = 0.8f, u.sharpen = c.sharpen, u.lightStrength = c.lightStrength;
        u.whiteDegree = 0.7f, u.ruddyDegree = 0.49f, u.noiseLevel = c.noiseLevel;
        u.enableLut = c.enableLut, u.whiten = whiten.data(), u.ruddy = ruddy.data();
        u.grading = c.gradingCube ? cube.view() : ColourCubeView{nullptr, 0};
        for (const int width : kWidths) {
            Buffer above(width, &random), row(width, &random), below(width, &random);
            // Bright, warm and near-neutral pixels, so both skin tests pass now and then.
            for (int i = 0; i < width; i += 2) {
                uint8_t* p = row.pixels + i * 4;
                p[0] = static_cast<uint8_t>(200 + random() % 56);
                p[1] = static_cast<uint8_t>(p[0] - random() % 40);
                p[2] = static_cast<uint8_t>(160 + random() % 60);
            }
            Buffer blur0(width, &random), blur1(width, &random);
            const uint32_t blurWeight = randomWeights(&random);
            expectSameBytes(c.name, width, static_cast<size_t>(width) * 4,
                            [&](const BeautyRows& rows, uint8_t* dst) {
                                rows.mix(u, above.pixels, row.pixels, below.pixels, blur0.pixels, blur1.pixels,
                                         blurWeight, dst, width);
                            });
        }
    }
}

}  // namespace
}  // namespace kelvo::video
