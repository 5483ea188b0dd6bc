#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "frame/plane_change.h"

namespace kelvo {
namespace video {
namespace {

// The vector row against the portable one and against the sum itself, on
// random bytes with extremes mixed in, every length across two vectors and
// a tail, from unaligned starts; bytes past the row stay.
TEST(PlaneChange, FastRowClampsTheSumLikeThePortableRow) {
    std::mt19937 rng(7);
    auto byte = [&rng] {
        const unsigned v = rng() % 300;
        return static_cast<uint8_t>(v < 256 ? v : (v & 1) * 255);
    };
    for (int n = 0; n <= 40; ++n) {
        for (int offset : {0, 1, 3}) {
            std::vector<uint8_t> dst(n + 8), now(n + 8), was(n + 8);
            for (size_t i = 0; i < dst.size(); ++i)
                dst[i] = byte(), now[i] = byte(), was[i] = byte();
            std::vector<uint8_t> fast = dst, portable = dst;
            addRowChange(fast.data() + offset, now.data() + offset, was.data() + offset, n);
            addRowChange_C(portable.data() + offset, now.data() + offset, was.data() + offset, n);
            ASSERT_EQ(fast, portable) << "n " << n << " offset " << offset;
            for (int i = 0; i < n + 8 - offset; ++i) {
                const int j = i + offset;
                const int sum = dst[j] + now[j] - was[j];
                const int expected = i < n ? (sum < 0 ? 0 : sum > 255 ? 255 : sum) : dst[j];
                ASSERT_EQ(fast[j], expected) << "n " << n << " byte " << i;
            }
        }
    }
}

TEST(PlaneChange, PlanesAreWalkedByTheirOwnStrides) {
    // 3x2 samples: dst stride 4, now stride 5, was stride 3.
    std::vector<uint8_t> dst = {10, 20, 30, 99, 40, 50, 60, 99};
    const std::vector<uint8_t> now = {5, 5, 5, 0, 0, 200, 0, 9, 0, 0};
    const std::vector<uint8_t> was = {0, 5, 7, 100, 0, 0};
    addPlaneChange(dst.data(), 4, now.data(), 5, was.data(), 3, 3, 2);
    EXPECT_EQ(dst, (std::vector<uint8_t>{15, 20, 28, 99, 140, 50, 69, 99}));
    addPlaneChange(dst.data(), 4, now.data(), 5, was.data(), 3, 0, 2);
    EXPECT_EQ(dst[0], 15);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
