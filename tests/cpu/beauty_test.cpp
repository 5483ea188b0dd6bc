// The CPU beauty effect's own contract: bands, argument checks, tables and
// the uniform values it latches.
#include "effects/beauty/cpu/beauty.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "effects/lut_loader.h"

namespace kelvo::video {
namespace {

std::vector<uint8_t> randomPixels(int width, int height, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (auto& p : pixels) p = static_cast<uint8_t>(random());
    return pixels;
}

std::vector<uint8_t> identityTable() {
    std::vector<uint8_t> table(static_cast<size_t>(kBeautyTableSize) * kBeautyTableSize * 4);
    for (int y = 0; y < kBeautyTableSize; ++y) {
        for (int x = 0; x < kBeautyTableSize; ++x) {
            uint8_t* p = &table[(static_cast<size_t>(y) * kBeautyTableSize + x) * 4];
            p[0] = static_cast<uint8_t>((x % 64) * 255 / 63);
            p[1] = static_cast<uint8_t>((y % 64) * 255 / 63);
            p[2] = static_cast<uint8_t>(((y / 64) * 8 + x / 64) * 255 / 63);
            p[3] = 255;
        }
    }
    return table;
}

// Stages split into bands and run in reverse band order give the bytes of a
// whole-frame run: rows of one stage depend only on earlier stages.
TEST(CpuBeautyTest, BandsInAnyOrderGiveTheWholeFrame) {
    const int width = 77, height = 53;
    const auto src = randomPixels(width, height, 5);
    const auto table = identityTable();
    const ConstImageRGBA8 t{table.data(), kBeautyTableSize * 4, kBeautyTableSize, kBeautyTableSize};
    std::vector<uint8_t> whole(src.size()), banded(src.size());

    Beauty a, b;
    ASSERT_TRUE(a.setTables(t, t));
    ASSERT_TRUE(b.setTables(t, t));
    ASSERT_EQ(
        a.process({src.data(), width * 4, width, height}, {whole.data(), width * 4, width, height}),
        0);
    ASSERT_EQ(
        b.begin({src.data(), width * 4, width, height}, {banded.data(), width * 4, width, height}),
        0);
    for (int stage = 0; stage < Beauty::kStageCount; ++stage) {
        const auto s = static_cast<Beauty::Stage>(stage);
        const int rows = b.stageRows(s);
        const int cuts[] = {rows, rows * 2 / 3, rows / 3, 0};
        for (int i = 0; i < 3; ++i) b.runStage(s, cuts[i + 1], cuts[i]);
    }
    EXPECT_EQ(banded, whole);
}

TEST(CpuBeautyTest, RejectsImagesItCannotProcessSafely) {
    const int width = 16, height = 8;
    std::vector<uint8_t> buffer(static_cast<size_t>(width) * height * 4 * 2);
    const ConstImageRGBA8 src{buffer.data(), width * 4, width, height};
    uint8_t* other = buffer.data() + buffer.size() / 2;
    struct Row {
        const char* why;
        ConstImageRGBA8 src;
        ImageRGBA8 dst;
    };
    const Row rows[] = {
        {"no source", {nullptr, width * 4, width, height}, {other, width * 4, width, height}},
        {"no destination", src, {nullptr, width * 4, width, height}},
        {"sizes differ", src, {other, width * 4, width, height - 1}},
        {"empty", {buffer.data(), 0, 0, 0}, {other, 0, 0, 0}},
        {"stride shorter than a row",
         {buffer.data(), width * 4 - 1, width, height},
         {other, width * 4, width, height}},
        {"in place", src, {buffer.data(), width * 4, width, height}},
        {"overlapping", src, {buffer.data() + width * 4 * 3, width * 4, width, height}},
    };
    Beauty beauty;
    for (const Row& row : rows) EXPECT_EQ(beauty.process(row.src, row.dst), -1) << row.why;
    EXPECT_EQ(beauty.process(src, {other, width * 4, width, height}), 0);
}

TEST(CpuBeautyTest, GradingsNeedTwoTablesOfTheRightSize) {
    const auto table = identityTable();
    const ConstImageRGBA8 good{table.data(), kBeautyTableSize * 4, kBeautyTableSize,
                               kBeautyTableSize};
    const ConstImageRGBA8 small{table.data(), kBeautyTableSize * 4, 256, kBeautyTableSize};
    Beauty beauty;
    EXPECT_TRUE(beauty.setTables(good, good));
    EXPECT_FALSE(beauty.setTables(good, small));
    EXPECT_FALSE(beauty.hasTables()) << "a rejected pair also drops the tables held before";
    EXPECT_FALSE(beauty.setTables({nullptr, 0, kBeautyTableSize, kBeautyTableSize}, good));
}

// As the GL program setters do, a value outside (-0.001, 1.001) leaves the
// uniform at its previous value.
TEST(CpuBeautyTest, OutOfRangeParametersKeepThePreviousUniform) {
    const int width = 4, height = 4;
    std::vector<uint8_t> src(width * height * 4, 128), dst(src.size());
    Beauty beauty;
    BeautyParameters p;
    p.smoothness = 0.25f, p.lightness = 0.6f, p.redness = 1.0f, p.sharpness = 1.0f,
    p.noiseLevel = 1;
    beauty.setParameters(p);
    ASSERT_EQ(beauty.process({src.data(), width * 4, width, height},
                             {dst.data(), width * 4, width, height}),
              0);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().blurAlpha, 0.5f);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().ruddyDegree, 0.49f);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().sharpen, 0.81f);

    p.smoothness = 1.5f, p.lightness = -0.5f, p.redness = 2.0f;
    beauty.setParameters(p);
    ASSERT_EQ(beauty.process({src.data(), width * 4, width, height},
                             {dst.data(), width * 4, width, height}),
              0);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().blurAlpha, 0.5f);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().whiteDegree, 0.6f);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().ruddyDegree, 0.49f);
}

// The grading cube against the tables, on one effect whose degrees change
// from row to row (so a cube left from the row before shows): the same
// bytes with both degrees 0, a level now and then otherwise.
TEST(CpuBeautyTest, GradingCubeFollowsTheTables) {
    auto whiten = loadLutTable(kWhiteningLutId);
    auto ruddy = loadLutTable(kRuddyLutId);
    ASSERT_TRUE(whiten && ruddy);
    const ConstImageRGBA8 w{whiten->data(), whiten->stride(), whiten->width(), whiten->height()};
    const ConstImageRGBA8 r{ruddy->data(), ruddy->stride(), ruddy->width(), ruddy->height()};
    struct Row {
        float redness, lightness;
        double meanBound;
        int maxBound;
    };
    const Row rows[] = {
        {0.3f, 0.3f, 0.15, 1}, {1.0f, 1.0f, 0.3, 2}, {0.0f, 0.0f, 0.0, 0}, {0.0f, 0.8f, 0.25, 2}};
    const int width = 96, height = 64;
    const auto src = randomPixels(width, height, 9);
    std::vector<uint8_t> cubeOut(src.size()), tableOut(src.size());
    Beauty cube(beautyRows(), true);
    ASSERT_TRUE(cube.setTables(w, r));
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "redness " << row.redness << " lightness " << row.lightness);
        BeautyParameters p;
        p.redness = row.redness, p.lightness = row.lightness;
        Beauty tables;
        ASSERT_TRUE(tables.setTables(w, r));
        tables.setParameters(p);
        cube.setParameters(p);
        ASSERT_EQ(cube.process({src.data(), width * 4, width, height},
                               {cubeOut.data(), width * 4, width, height}),
                  0);
        ASSERT_EQ(tables.process({src.data(), width * 4, width, height},
                                 {tableOut.data(), width * 4, width, height}),
                  0);
        double sum = 0;
        int max = 0;
        for (size_t i = 0; i < src.size(); ++i) {
            const int d = std::abs(cubeOut[i] - tableOut[i]);
            sum += d;
            max = std::max(max, d);
        }
        EXPECT_LE(sum / (src.size() / 4 * 3), row.meanBound);
        EXPECT_LE(max, row.maxBound);
    }
}

}  // namespace
}  // namespace kelvo::video
