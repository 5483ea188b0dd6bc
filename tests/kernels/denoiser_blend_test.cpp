#include "denoise/denoiser_blend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kelvo {
namespace video {
namespace {

TEST(DenoiserBlendClass, FollowsTheFrameArea) {
    struct Row {
        int width, height;
        float weight;
        int threshold;
    };
    const Row rows[] = {
        {639, 480, 0.7f, 256},  {640, 480, 0.5f, 448},   {1279, 540, 0.5f, 448},
        {1280, 540, 0.5f, 512}, {1920, 1080, 0.5f, 512}, {16, 16, 0.7f, 256},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << "x" << row.height);
        const DenoiserBlendClass c = denoiserBlendClass(row.width, row.height);
        EXPECT_EQ(c.staticWeight, row.weight);
        EXPECT_EQ(c.neighbourThreshold, row.threshold);
    }
}

TEST(BlockPositionFactor, RaisesTheThresholdNearTheTopAndSideBorders) {
    // 32 x 48 blocks: bands end at row 2 / 4, columns 3 / 6 and start at 45 / 42.
    struct Row {
        int row, column, expected;
    };
    const Row rows[] = {
        {2, 20, 3}, {3, 20, 2}, {4, 20, 2},  {5, 20, 1},  {31, 20, 1}, {10, 3, 3},  {10, 4, 2},
        {10, 6, 2}, {10, 7, 1}, {10, 41, 1}, {10, 42, 2}, {10, 44, 2}, {10, 45, 3}, {0, 0, 3},
    };
    for (const Row& row : rows)
        EXPECT_EQ(blockPositionFactor(row.row, row.column, 32, 48, 1), row.expected)
            << row.row << "," << row.column;
    EXPECT_EQ(blockPositionFactor(0, 0, 32, 48, 0), 1);
}

// Maps drawn as text, one string per block row: 'X' a moving edge.
DenoiserBlockMaps mapsWithEdges(const std::vector<std::string>& edges) {
    DenoiserBlockMaps maps;
    maps.resize(static_cast<int>(edges[0].size()) * 16, static_cast<int>(edges.size()) * 16);
    for (int r = 0; r < maps.rows; ++r)
        for (int c = 0; c < maps.columns; ++c) {
            maps.movingEdge[r * maps.columns + c] = edges[r][c] == 'X';
            maps.movingObject[r * maps.columns + c] = 1;
        }
    return maps;
}

std::vector<std::string> movingObjects(const DenoiserBlockMaps& maps) {
    std::vector<std::string> out(maps.rows, std::string(maps.columns, '.'));
    for (int r = 0; r < maps.rows; ++r)
        for (int c = 0; c < maps.columns; ++c)
            if (maps.movingObject[r * maps.columns + c]) out[r][c] = '1';
    return out;
}

TEST(SweepMovingObjects, KeepsTheRegionEnclosedByEdges) {
    DenoiserBlockMaps maps = mapsWithEdges({".......", ".XXX...", ".X.X...", ".XXX...", "......."});
    sweepMovingObjects(maps);
    EXPECT_EQ(movingObjects(maps),
              (std::vector<std::string>{".......", ".111...", ".111...", ".111...", "......."}));
}

TEST(SweepMovingObjects, StopColumnCarriesFromRowToRow) {
    // Four edges alone hold the whole rectangle between them: once a sweep
    // meets an edge it never reaches further in on later rows.
    DenoiserBlockMaps maps = mapsWithEdges({".....", ".X.X.", ".....", ".....", ".X.X.", "....."});
    sweepMovingObjects(maps);
    EXPECT_EQ(movingObjects(maps),
              (std::vector<std::string>{".....", ".111.", ".111.", ".111.", ".111.", "....."}));
}

class IsMovingBlock : public testing::Test {
protected:
    void SetUp() override { maps.resize(5 * 16, 5 * 16); }
    int& difference(int r, int c) { return maps.blockDifference[r * 5 + c]; }
    DenoiserBlockMaps maps;
    static constexpr int kThreshold = 256;
};

TEST_F(IsMovingBlock, OuterRingAlwaysMovesAndTheQuietInteriorStays) {
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(isMovingBlock(maps, r, c, kThreshold), r == 0 || r == 4 || c == 0 || c == 4)
                << r << "," << c;
}

TEST_F(IsMovingBlock, MovesAboveTheThresholdOrWithTwoNeighboursAboveIt) {
    difference(2, 2) = kThreshold;
    difference(1, 1) = kThreshold + 1;
    EXPECT_FALSE(isMovingBlock(maps, 2, 2, kThreshold));
    difference(3, 3) = kThreshold + 1;
    EXPECT_TRUE(isMovingBlock(maps, 2, 2, kThreshold));
    difference(3, 3) = 0;
    difference(2, 2) = kThreshold + 1;
    EXPECT_TRUE(isMovingBlock(maps, 2, 2, kThreshold));
}

TEST_F(IsMovingBlock, MovingObjectMovesOnlyWhereItsRowAndColumnHoldEdges) {
    maps.movingObject[2 * 5 + 2] = 1;
    maps.columnDensity[2] = 1;
    EXPECT_FALSE(isMovingBlock(maps, 2, 2, kThreshold));
    maps.rowDensity[2] = 3;
    EXPECT_TRUE(isMovingBlock(maps, 2, 2, kThreshold));
    maps.movingObject[2 * 5 + 2] = 0;
    EXPECT_FALSE(isMovingBlock(maps, 2, 2, kThreshold));
}

struct BlendRow {
    int source, reference;
    int expected;
    const char* why;
};

uint8_t blendOne(int source, int reference, const float* staticWeight) {
    std::vector<uint8_t> s(16 * 17, static_cast<uint8_t>(source));
    std::vector<uint8_t> r(16 * 19, static_cast<uint8_t>(reference));
    std::vector<uint8_t> out(16 * 21, 0xEE);
    if (staticWeight)
        blendStaticBlock16x16(r.data(), 19, s.data(), 17, out.data(), 21, *staticWeight);
    else
        blendMovingBlock16x16(r.data(), 19, s.data(), 17, out.data(), 21);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(out[y * 21 + x], out[0]);
    EXPECT_EQ(out[16], 0xEE);  // the stride gap is left alone
    return out[0];
}

TEST(BlendStaticBlock, UsesTheSinglePrecisionWeightAndTruncates) {
    const float w07 = 0.7f;
    const BlendRow rows[] = {
        {100, 200, 170, "30.0000012 + 140.0"},
        {0, 10, 7, "float 10 * 0.7f rounds to 7.0; in double it would be 6.9999999"},
        {3, 3, 2, "0.90000004 + 2.0999999: just below 3"},
        {0, 255, 178, "178.5 truncated"},
        {255, 0, 76, "76.500003 truncated"},
    };
    for (const BlendRow& row : rows)
        EXPECT_EQ(blendOne(row.source, row.reference, &w07), row.expected) << row.why;

    const float w05 = 0.5f;
    EXPECT_EQ(blendOne(3, 3, &w05), 3);
    EXPECT_EQ(blendOne(0, 255, &w05), 127);
}

TEST(BlendMovingBlock, TakesNinetyPercentOfTheSourceInDouble) {
    const BlendRow rows[] = {
        {3, 3, 3, "exact in double; a float blend would give 2"},
        {6, 16, 7, "7.0000000000000009; a float blend would give 6"},
        {0, 255, 25, "25.5 truncated"},
        {255, 0, 229, "229.5 truncated"},
    };
    for (const BlendRow& row : rows)
        EXPECT_EQ(blendOne(row.source, row.reference, nullptr), row.expected) << row.why;
}

// A luma plane with its own stride, filled by a function of (x, y).
struct Plane {
    Plane(int width, int height, int stride)
        : width(width), height(height), stride(stride),
          data(static_cast<size_t>(stride) * height, 0xEE) {}
    template <typename F>
    void fill(F f) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) at(x, y) = static_cast<uint8_t>(f(x, y));
    }
    uint8_t& at(int x, int y) { return data[static_cast<size_t>(y) * stride + x]; }
    int width, height, stride;
    std::vector<uint8_t> data;
};

// Reference 100; source 97 / 103 in a checkerboard, so every column of every
// block sums to 0 and the blocks are static unless told otherwise.
int checker(int x, int y) { return (x + y) & 1 ? 103 : 97; }

TEST(AnalyseBlocks, MarksMovingEdgesAndCountsThemOutsideTheBorderBand) {
    // 10 x 8 blocks. A block of 200 | 160 halves over a reference of 100 is
    // copied (every column sum -128) and its output still varies: an edge.
    const int width = 160, height = 128, stride = 160;
    Plane reference(width, height, stride), source(width, height, stride),
        out(width, height, stride);
    reference.fill([](int, int) { return 100; });
    auto edgeBlock = [](int x, int y) {
        return (y >> 4 == 4 && x >> 4 == 1) || (y >> 4 == 0 && x >> 4 == 5);
    };
    source.fill([&](int x, int y) { return edgeBlock(x, y) ? (x % 16 < 8 ? 200 : 160) : 100; });
    NoiseEstimator estimator;
    estimator.init(width, height);
    for (int i = 0; i < 3; ++i) estimator.addBlock(41, 0, 0);
    DenoiserBlockMaps maps;
    maps.resize(width, height);
    auto filter = DenoiserFilter::create(false);
    analyseBlocks(*filter, &estimator, reference.data.data(), source.data.data(), out.data.data(),
                  stride, 1, maps);

    EXPECT_EQ(maps.movingEdge[4 * 10 + 1], 1);  // block 41, position factor 2
    EXPECT_EQ(maps.movingEdge[0 * 10 + 5], 1);  // top band, factor 3
    EXPECT_EQ(maps.blockDifference[4 * 10 + 1], 2048);
    // Only the edge outside the outermost band feeds the densities.
    EXPECT_EQ(maps.columnDensity, (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(maps.rowDensity, (std::vector<int>{0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(std::count(maps.movingObject.begin(), maps.movingObject.end(), 1), 80);
    // Sampled blocks: 0 was static, 41 an edge.
    EXPECT_EQ(estimator.lowVarRun(0), 1u);
    EXPECT_EQ(estimator.lowVarRun(41), 0u);
    EXPECT_EQ(out.at(16, 64), 192);  // denoiseBlock's output, -8 when strong
}

TEST(DenoiseLumaPlane, BlendsRingAndInteriorAndCopiesTheMarginsOf1278x718) {
    const int width = 1278, height = 718, stride = 1280;
    Plane reference(width, height, stride), source(width, height, stride),
        out(width, height, stride);
    reference.fill([](int, int) { return 100; });
    source.fill(checker);
    DenoiserBlockMaps maps;
    NoiseEstimator estimator;
    estimator.init(width, height);
    auto filter = DenoiserFilter::create(false);

    EXPECT_EQ(denoiseLumaPlane(*filter, &estimator, reference.data.data(), source.data.data(),
                               out.data.data(), stride, width, height, maps),
              0);
    ASSERT_EQ(maps.columns, 79);
    ASSERT_EQ(maps.rows, 44);

    // w = 0.5 at this size: 103 -> 101, 97 -> 98; the ring's 0.1 / 0.9 blend:
    // 103 -> 102, 97 -> 97.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int s = checker(x, y);
            const int r = y >> 4, c = x >> 4;
            int expected;
            if (x >= 79 * 16 || y >= 44 * 16)
                expected = s;
            else if (r == 0 || c == 0 || r == 43 || c == 78)
                expected = s == 103 ? 102 : 97;
            else
                expected = s == 103 ? 101 : 98;
            ASSERT_EQ(out.at(x, y), expected) << x << "," << y;
        }
        ASSERT_EQ(out.at(width, y), 0xEE) << "stride padding written in row " << y;
    }
}

TEST(DenoiseLumaPlane, BlocksBesideTwoChangedBlocksMoveWithThem) {
    // 10 x 8 blocks, small frame: w = 0.7 and T = 256.
    const int width = 160, height = 128, stride = 160;
    Plane reference(width, height, stride), source(width, height, stride),
        out(width, height, stride);
    reference.fill([](int, int) { return 100; });
    auto inBlock = [](int x, int y, int r, int c) { return y >> 4 == r && x >> 4 == c; };
    source.fill([&](int x, int y) {
        return inBlock(x, y, 4, 5) || inBlock(x, y, 4, 6) ? 200 : checker(x, y);
    });
    DenoiserBlockMaps maps;
    auto filter = DenoiserFilter::create(false);
    EXPECT_EQ(denoiseLumaPlane(*filter, nullptr, reference.data.data(), source.data.data(),
                               out.data.data(), stride, width, height, maps),
              0);

    EXPECT_EQ(maps.decision[4 * 10 + 5], kCopyBlock);
    EXPECT_EQ(maps.blockDifference[4 * 10 + 5], 1792);
    EXPECT_EQ(out.at(5 * 16 + 3, 4 * 16 + 3), 190);  // 10 + 180

    // Moving checker blocks give 102 / 97, static ones (w = 0.7) 100 / 99.
    auto blendedAsMoving = [&](int r, int c) {
        return out.at(c * 16, r * 16) == 97 && out.at(c * 16 + 1, r * 16) == 102;
    };
    auto blendedAsStatic = [&](int r, int c) {
        return out.at(c * 16, r * 16) == 99 && out.at(c * 16 + 1, r * 16) == 100;
    };
    EXPECT_TRUE(blendedAsMoving(3, 5));  // both changed blocks are neighbours
    EXPECT_TRUE(blendedAsMoving(5, 6));
    EXPECT_TRUE(blendedAsStatic(3, 4));  // only one is
    EXPECT_TRUE(blendedAsStatic(3, 7));
    EXPECT_TRUE(blendedAsStatic(2, 5));  // none is
    EXPECT_TRUE(blendedAsMoving(0, 5));  // the ring
}

TEST(DenoiseLumaPlane, FrameSmallerThanOneBlockIsCopied) {
    const int width = 15, height = 40, stride = 17;
    Plane reference(width, height, stride), source(width, height, stride),
        out(width, height, stride);
    reference.fill([](int, int) { return 10; });
    source.fill([](int x, int y) { return x * 7 + y; });
    DenoiserBlockMaps maps;
    auto filter = DenoiserFilter::create(false);
    denoiseLumaPlane(*filter, nullptr, reference.data.data(), source.data.data(), out.data.data(),
                     stride, width, height, maps);
    EXPECT_EQ(maps.blockCount(), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) ASSERT_EQ(out.at(x, y), source.at(x, y));
}

}  // namespace
}  // namespace video
}  // namespace kelvo
