// The beauty rows' own properties; each fast row against its portable row is
// in tests/checkasm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
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
            dx0[2 * i + 1] = i, dx1[2 * i + 1] = clamp(i + 1, width),
                        dw[2 * i + 1] = kBeautyQuarterOn;
        }
        std::vector<uint8_t> halved(static_cast<size_t>(width) * 4), doubled(halved.size() * 2);
        BeautyDownsizeRow_C(wideSrc.pixels, hx0.data(), hx1.data(), hw.data(), halved.data(),
                            width);
        BeautyDownsizeRow_C(narrowSrc, dx0.data(), dx1.data(), dw.data(), doubled.data(),
                            2 * width);
        for (const CpuLevel& level : kCpuLevels) {
            if ((cpuFlags() & level.flags) != level.flags) continue;
            const BeautyRows rows = beautyRowsFor(level.flags);
            std::vector<uint8_t> out(doubled.size());
            rows.halve(wideSrc.pixels, out.data(), width);
            EXPECT_TRUE(std::equal(halved.begin(), halved.end(), out.begin()))
                << "halving, " << level.name << ", width " << width;
            rows.doubled(narrowSrc, out.data(), width);
            EXPECT_EQ(out, doubled) << "doubling, " << level.name << ", width " << width;
        }
    }
}

// A table whose texel at (x, y) encodes x and y, read back cell by cell.
TEST(BeautyRowsTest, TableCellsHoldTheTexelPairsOfATwoAxisRead) {
    std::vector<uint8_t> table(static_cast<size_t>(kBeautyTableSize) * kBeautyTableSize * 4);
    auto texel = [&](int x, int y) {
        return &table[(static_cast<size_t>(y) * kBeautyTableSize + x) * 4];
    };
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
        const uint8_t* cell = &cells[(static_cast<size_t>(r.cellY) * kBeautyTableCells + r.cellX) *
                                     kBeautyTableCellBytes];
        EXPECT_EQ(std::vector<uint8_t>(cell, cell + kBeautyTableCellBytes), expected) << r.name;
    }
}

}  // namespace
}  // namespace kelvo::video
