#include <gtest/gtest.h>

#include <vector>

#include "frame/yuv_matrix.h"

namespace kelvo {
namespace video {
namespace {

struct FixedRow {
    const char* name;
    YUVStandard standard;
    bool full;
    YUVFixedCoeffs expected;
};

// BT.601 are libyuv's published sets; the others follow the same rounding.
const FixedRow kFixedRows[] = {
    {"601 limited", YUVStandard::kBT601, false, {66, 129, 25, 4224, -38, -74, 112, 112, -94, -18}},
    {"601 full", YUVStandard::kBT601, true, {77, 150, 29, 128, -43, -85, 128, 128, -107, -21}},
    {"709 limited", YUVStandard::kBT709, false, {47, 157, 16, 4224, -26, -86, 112, 112, -102, -10}},
    {"709 full", YUVStandard::kBT709, true, {54, 183, 19, 128, -29, -99, 128, 128, -116, -12}},
    {"2020 limited",
     YUVStandard::kBT2020,
     false,
     {58, 149, 13, 4224, -31, -81, 112, 112, -103, -9}},
    {"2020 full", YUVStandard::kBT2020, true, {67, 174, 15, 128, -36, -92, 128, 128, -118, -10}},
};

TEST(YUVMatrix, FixedPointWeightsKeepWhiteAndGreysExact) {
    for (const FixedRow& row : kFixedRows) {
        SCOPED_TRACE(row.name);
        const YUVFixedCoeffs& c = yuvMatrix(row.standard, row.full).fixed;
        const YUVFixedCoeffs& e = row.expected;
        EXPECT_EQ(
            (std::vector<int>{c.yR, c.yG, c.yB, c.yBias, c.uR, c.uG, c.uB, c.vR, c.vG, c.vB}),
            (std::vector<int>{e.yR, e.yG, e.yB, e.yBias, e.uR, e.uG, e.uB, e.vR, e.vG, e.vB}));
        // White reaches the top of the range, a grey has no chroma.
        EXPECT_EQ((255 * (c.yR + c.yG + c.yB) + c.yBias) >> 8, row.full ? 255 : 235);
        EXPECT_EQ(c.uR + c.uG + c.uB, 0);
        EXPECT_EQ(c.vR + c.vG + c.vB, 0);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
