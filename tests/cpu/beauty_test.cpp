// The CPU beauty effect's own contract: bands, argument checks, tables and
// the uniform values it latches.
#include "cpu/beauty.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

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

    CpuBeauty a, b;
    ASSERT_TRUE(a.setTables(t, t));
    ASSERT_TRUE(b.setTables(t, t));
    ASSERT_EQ(a.process({src.data(), width * 4, width, height}, {whole.data(), width * 4, width, height}), 0);
    ASSERT_EQ(b.begin({src.data(), width * 4, width, height}, {banded.data(), width * 4, width, height}), 0);
    for (int stage = 0; stage < CpuBeauty::kStageCount; ++stage) {
        const auto s = static_cast<CpuBeauty::Stage>(stage);
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
        {"stride shorter than a row", {buffer.data(), width * 4 - 1, width, height}, {other, width * 4, width, height}},
        {"in place", src, {buffer.data(), width * 4, width, height}},
        {"overlapping", src, {buffer.data() + width * 4 * 3, width * 4, width, height}},
    };
    CpuBeauty beauty;
    for (const Row& row : rows) EXPECT_EQ(beauty.process(row.src, row.dst), -1) << row.why;
    EXPECT_EQ(beauty.process(src, {other, width * 4, width, height}), 0);
}

TEST(CpuBeautyTest, GradingsNeedTwoTablesOfTheRightSize) {
    const auto table = identityTable();
    const ConstImageRGBA8 good{table.data(), kBeautyTableSize * 4, kBeautyTableSize, kBeautyTableSize};
    const ConstImageRGBA8 small{table.data(), kBeautyTableSize * 4, 256, kBeautyTableSize};
    CpuBeauty beauty;
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
    CpuBeauty beauty;
    BeautyParameters p;
    p.smoothness = 0.25f, p.lightness = 0.6f, p.redness = 1.0f, p.sharpness = 1.0f, p.noiseLevel = 1;
    beauty.setParameters(p);
    ASSERT_EQ(beauty.process({src.data(), width * 4, width, height}, {dst.data(), width * 4, width, height}), 0);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().blurAlpha, 0.5f);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().ruddyDegree, 0.49f);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().sharpen, 0.81f);

    p.smoothness = 1.5f, p.lightness = -0.5f, p.redness = 2.0f;
    beauty.setParameters(p);
    ASSERT_EQ(beauty.process({src.data(), width * 4, width, height}, {dst.data(), width * 4, width, height}), 0);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().blurAlpha, 0.5f);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().whiteDegree, 0.6f);
    EXPECT_FLOAT_EQ(beauty.mixUniforms().ruddyDegree, 0.49f);
}

}  // namespace
}  // namespace kelvo::video
