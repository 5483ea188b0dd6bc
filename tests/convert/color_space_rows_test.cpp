// The fast rows of the packed-RGB converters against the portable rows, bit
// for bit: every byte order and coefficient set, odd sizes, bottom-up
// sources, unaligned rows and padded strides.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "convert/color_space_rows.h"

namespace kelvo {
namespace video {
namespace {

struct Planes {
    Planes(int w, int h, int pad, int offset)
        : strideY(w + pad), strideC((w + 1) / 2 + pad), offset(offset),
          y(size_t(strideY) * h + offset, 0xA5), u(size_t(strideC) * ((h + 1) / 2) + offset, 0xA5),
          v(u) {}
    int strideY, strideC, offset;
    std::vector<uint8_t> y, u, v;
};

// Range and matrix codes reaching each coefficient set.
const int kCodes[][2] = {{1, 1}, {1, 4}, {1, 3}, {0, 1}, {0, 0}, {-1, -1}, {1, 7}, {0, 8}};
const PackedOrder kOrders[] = {PackedOrder::kABGR, PackedOrder::kARGB, PackedOrder::kBGRA};

class FastPackedRows : public ::testing::TestWithParam<PackedRowPath> {
protected:
    void SetUp() override {
        if (!packedRowPathSupported(GetParam()))
            GTEST_SKIP() << "rows not supported by this build or processor";
    }

    // Converts src both ways and demands identical planes, guard bytes included.
    void expectSame(const std::vector<uint8_t>& src, int srcOffset, int srcStride, int w, int h,
                    int pad, int dstOffset) {
        for (PackedOrder order : kOrders)
            for (const auto& code : kCodes) {
                const int rows = h < 0 ? -h : h;
                Planes a(w, rows, pad, dstOffset), b(w, rows, pad, dstOffset);
                auto run = [&](PackedRowPath path, Planes& p) {
                    return packedToI420WithRows(
                        order, path, src.data() + srcOffset, srcStride, p.y.data() + p.offset,
                        p.strideY, p.u.data() + p.offset, p.strideC, p.v.data() + p.offset,
                        p.strideC, w, h, code[0], code[1]);
                };
                ASSERT_EQ(run(PackedRowPath::kPortable, a), 0);
                ASSERT_EQ(run(GetParam(), b), 0);
                const auto where = ::testing::Message()
                                   << "order " << int(order) << " codes " << code[0] << ","
                                   << code[1] << " size " << w << "x" << h;
                ASSERT_EQ(a.y, b.y) << where;
                ASSERT_EQ(a.u, b.u) << where;
                ASSERT_EQ(a.v, b.v) << where;
            }
    }

    std::vector<uint8_t> noise(size_t n) {
        std::uniform_int_distribution<int> sample(0, 255);
        std::vector<uint8_t> px(n);
        for (auto& p : px) p = static_cast<uint8_t>(sample(rng));
        return px;
    }

    std::mt19937 rng{99};
};

TEST_P(FastPackedRows, MatchPortableRowsOnNoiseOfOddAndVectorEdgeWidths) {
    const int widths[] = {1, 2, 3, 15, 16, 17, 31, 32, 33, 34, 47, 63, 64, 65, 95, 129, 641};
    const int heights[] = {1, 2, 3, 5};
    int variant = 0;
    for (int w : widths)
        for (int h : heights) {
            ++variant;
            const int srcOffset = variant % 4;           // rows not 4-byte aligned
            const int srcStride = w * 4 + (variant % 3) * 5;  // padded, odd
            const auto src = noise(size_t(srcStride) * h + srcOffset);
            expectSame(src, srcOffset, srcStride, w, h, variant % 3, variant % 5);
        }
}

TEST_P(FastPackedRows, MatchPortableRowsOnSaturatedColoursThatReachTheClamps) {
    // Corners of the colour cube, one per 2x2 block so that averaging keeps
    // them: the largest luma (white) and chroma sums
    // below 0 and above 255.
    std::uniform_int_distribution<int> corner(0, 7);
    for (int w : {33, 64, 100}) {
        const int h = 4;
        std::vector<uint8_t> src(size_t(w) * 4 * h + 1);
        for (int by = 0; by < h; by += 2)
            for (int bx = 0; bx < w; bx += 2) {
                const int c = corner(rng);
                for (int y = by; y < by + 2; ++y)
                    for (int x = bx; x < bx + 2 && x < w; ++x)
                        for (int ch = 0; ch < 4; ++ch)
                            src[1 + size_t(y) * w * 4 + size_t(x) * 4 + ch] =
                                (c >> (ch % 3)) & 1 ? 255 : 0;
            }
        expectSame(src, 1, w * 4, w, h, 0, 0);
    }
}

TEST_P(FastPackedRows, MatchPortableRowsOnBottomUpSources) {
    for (int w : {37, 70}) {
        const int h = 7;
        const auto src = noise(size_t(w) * 4 * h + 3);
        expectSame(src, 3, w * 4, w, -h, 1, 2);
    }
}

TEST_P(FastPackedRows, MatchPortableRowsAcrossAFullHdRow) {
    const int w = 1921, h = 2;
    const auto src = noise(size_t(w) * 4 * h);
    expectSame(src, 0, w * 4, w, h, 0, 0);
}

TEST_P(FastPackedRows, RejectTheSameArgumentsAsThePortableRows) {
    std::vector<uint8_t> src(64 * 4), plane(64);
    uint8_t* p = plane.data();
    for (PackedOrder order : kOrders) {
        EXPECT_EQ(packedToI420WithRows(order, GetParam(), nullptr, 64, p, 16, p, 8, p, 8, 16, 2,
                                       0, 0), -1);
        EXPECT_EQ(packedToI420WithRows(order, GetParam(), src.data(), 64, p, 16, p, 8, p, 8, 0,
                                       2, 0, 0), -1);
        EXPECT_EQ(packedToI420WithRows(order, GetParam(), src.data(), 64, p, 16, p, 8, p, 8, 16,
                                       0, 0, 0), -1);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, FastPackedRows,
                         ::testing::Values(PackedRowPath::kSSE2, PackedRowPath::kAVX2),
                         [](const ::testing::TestParamInfo<PackedRowPath>& info) {
                             return std::string(info.param == PackedRowPath::kSSE2 ? "SSE2"
                                                                                   : "AVX2");
                         });

#if KELVO_COLOR_ROWS_X86
TEST(YuvToPackedRows, SSE2MatchesPortableForEverySetAndLayout) {
    std::mt19937 rng(5);
    auto noise = [&](size_t n) {
        std::vector<uint8_t> v(n);
        for (auto& b : v) b = uint8_t(rng());
        return v;
    };
    const int layouts[][3] = {{2, 1, 0}, {3, 2, 1}, {1, 2, 3}};  // ARGB, RGBA, BGRA
    for (YuvStandard s : {YuvStandard::kBT601, YuvStandard::kBT709, YuvStandard::kBT2020})
        for (bool full : {false, true})
            for (const auto& l : layouts)
                for (int w : {1, 7, 8, 9, 16, 17, 33, 641}) {
                    const int offset = w % 3;  // unaligned rows
                    const auto y = noise(w + offset), u = noise((w + 1) / 2 + offset),
                               v = noise((w + 1) / 2 + offset);
                    std::vector<uint8_t> a(4 * w + offset, 0xA5), b = a;
                    const YuvFixedDecode& k = yuvMatrix(s, full).fixedDecode;
                    yuvRowToPacked_C(&y[offset], &u[offset], &v[offset], &a[offset], w, k, l[0],
                                     l[1], l[2]);
                    const int done = yuvRowToPacked_SSE2(&y[offset], &u[offset], &v[offset],
                                                         &b[offset], w, k, l[0], l[1], l[2]);
                    yuvRowToPacked_C(&y[offset + done], &u[offset + done / 2],
                                     &v[offset + done / 2], &b[offset + 4 * done], w - done, k,
                                     l[0], l[1], l[2]);
                    ASSERT_EQ(a, b) << int(s) << full << " layout " << l[0] << " width " << w;
                }
}
#endif

TEST(PackedRowPaths, PortableIsAlwaysSupportedAndTheBestIsSupported) {
    EXPECT_TRUE(packedRowPathSupported(PackedRowPath::kPortable));
    EXPECT_TRUE(packedRowPathSupported(bestPackedRowPath()));
#if KELVO_COLOR_ROWS_X86
    if (__builtin_cpu_supports("avx2")) {
        EXPECT_EQ(bestPackedRowPath(), PackedRowPath::kAVX2);
    }
#endif
}

}  // namespace
}  // namespace video
}  // namespace kelvo
