#include <gtest/gtest.h>

#include <vector>

#include "frame/yuv_matrix.h"

namespace kelvo {
namespace video {
namespace {

TEST(YuvMatrix, EncodeUndoesDecode) {
    for (YuvStandard s : {YuvStandard::kBT601, YuvStandard::kBT709, YuvStandard::kBT2020}) {
        for (bool full : {false, true}) {
            const YuvMatrix& m = yuvMatrix(s, full);
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) {
                    double sum = 0;
                    for (int k = 0; k < 3; ++k) sum += m.encode[r * 3 + k] * m.decode[k * 3 + c];
                    EXPECT_NEAR(sum, r == c ? 1.0 : 0.0, 1e-6) << int(s) << full << r << c;
                }
        }
    }
}

struct FixedRow {
    const char* name;
    YuvStandard standard;
    bool full;
    YuvFixedCoeffs expected;
};

// BT.601 are libyuv's published sets; the others follow the same rounding.
const FixedRow kFixedRows[] = {
    {"601 limited", YuvStandard::kBT601, false, {66, 129, 25, 4224, -38, -74, 112, 112, -94, -18}},
    {"601 full", YuvStandard::kBT601, true, {77, 150, 29, 128, -43, -85, 128, 128, -107, -21}},
    {"709 limited", YuvStandard::kBT709, false, {47, 157, 16, 4224, -26, -86, 112, 112, -102, -10}},
    {"709 full", YuvStandard::kBT709, true, {54, 183, 19, 128, -29, -99, 128, 128, -116, -12}},
    {"2020 limited",
     YuvStandard::kBT2020,
     false,
     {58, 149, 13, 4224, -31, -81, 112, 112, -103, -9}},
    {"2020 full", YuvStandard::kBT2020, true, {67, 174, 15, 128, -36, -92, 128, 128, -118, -10}},
};

TEST(YuvMatrix, FixedPointWeightsKeepWhiteAndGreysExact) {
    for (const FixedRow& row : kFixedRows) {
        SCOPED_TRACE(row.name);
        const YuvFixedCoeffs& c = yuvMatrix(row.standard, row.full).fixed;
        const YuvFixedCoeffs& e = row.expected;
        EXPECT_EQ(
            (std::vector<int>{c.yR, c.yG, c.yB, c.yBias, c.uR, c.uG, c.uB, c.vR, c.vG, c.vB}),
            (std::vector<int>{e.yR, e.yG, e.yB, e.yBias, e.uR, e.uG, e.uB, e.vR, e.vG, e.vB}));
        // White reaches the top of the range, a grey has no chroma.
        EXPECT_EQ((255 * (c.yR + c.yG + c.yB) + c.yBias) >> 8, row.full ? 255 : 235);
        EXPECT_EQ(c.uR + c.uG + c.uB, 0);
        EXPECT_EQ(c.vR + c.vG + c.vB, 0);
    }
}

TEST(YuvMatrix, ColourCodesChooseStandardAndRange) {
    const struct {
        int matrix, range;
        YuvStandard standard;
        bool full;
    } rows[] = {
        {-1, 1, YuvStandard::kBT601, false}, {4, 1, YuvStandard::kBT601, true},
        {3, 0, YuvStandard::kBT601, false},  {1, 1, YuvStandard::kBT709, true},
        {0, 1, YuvStandard::kBT709, true},   {2, -1, YuvStandard::kBT709, false},
        {5, 2, YuvStandard::kBT709, false},  {6, 1, YuvStandard::kBT709, true},
        {9, 0, YuvStandard::kBT709, false},  {7, 1, YuvStandard::kBT2020, true},
        {8, 0, YuvStandard::kBT2020, false}, {42, 1, YuvStandard::kBT709, true},
    };
    for (const auto& row : rows) {
        const YuvMatrix& m = yuvMatrixFor(row.matrix, row.range);
        EXPECT_EQ(m.standard, row.standard) << row.matrix << "/" << row.range;
        EXPECT_EQ(m.fullRange, row.full) << row.matrix << "/" << row.range;
        EXPECT_FLOAT_EQ(m.lumaOffset, row.full ? 0.0f : 16.0f / 255.0f);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
