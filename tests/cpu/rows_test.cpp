// Every fast row against the portable row: identical bytes on random input,
// at widths around the vector sizes and at unaligned addresses.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "effects/color_enhance/cpu/color_enhance_rows.h"
#include "effects/lowlight/cpu/lowlight_enhance_rows.h"
#include "cpu/yuv_input_rows.h"
#include "cpu/yuv_output_rows.h"
#include "tests/cpu/cpu_test_util.h"

namespace kelvo {
namespace video {
namespace {

using cputest::fillRandom;

// Runs one row at `width` with all buffers starting `offset` bytes past an
// aligned address, on input made from `seed`; returns the output bytes.
using RowRun = std::function<std::vector<uint8_t>(RowPath path, int width, int offset,
                                                  unsigned seed)>;

struct RowCase {
    const char* name;
    RowRun run;
};

std::vector<uint8_t> randomBytes(size_t n, unsigned seed) {
    std::vector<uint8_t> v(n);
    fillRandom(v, seed);
    return v;
}

std::vector<uint8_t> runYUVToRGBA(RowPath path, int width, int offset, unsigned seed) {
    std::vector<uint8_t> planes = randomBytes(6 * (width + 64), seed);
    const uint8_t* row[6];
    for (int i = 0; i < 6; ++i) row[i] = planes.data() + i * (width + 64) + offset;
    YUVInputRowParams p = {{1.164384f, 0.0f, 1.792741f, 1.164384f, -0.213249f, -0.532909f,
                            1.164384f, 2.112402f, 0.0f},
                           16.0f / 255.0f};
    if (seed & 1) {
        p = {{1.0f, 0.0f, 1.402f, 1.0f, -0.344136f, -0.714136f, 1.0f, 1.772f, 0.0f}, 0.0f};
    }
    const int weights[] = {0, 64, 192, 255};
    const YUVInputRows rows = {row[0], row[1], weights[seed % 4], row[2], row[3], row[4], row[5],
                               weights[(seed + 1) % 4]};
    std::vector<uint8_t> out(4 * width + 64, 0);
    yuvToRGBARowFor(path)(rows, out.data() + offset, width, yuvInputFixed(p));
    return out;
}

std::vector<uint8_t> runChromaAcross(RowPath path, int width, int offset, unsigned seed) {
    // Exact sizes, so that AddressSanitizer sees any access past the rows.
    std::vector<uint8_t> padded = randomBytes(offset + (width + 1) / 2 + 2, seed);
    std::vector<uint8_t> out(offset + width, 0);
    chromaAcrossRowFor(path)(padded.data() + offset, out.data() + offset, width);
    return out;
}

std::vector<uint8_t> runLowlight(RowPath path, int width, int offset, unsigned seed) {
    std::vector<uint8_t> rows = randomBytes(3 * (4 * width + 64), seed);
    // Dark pictures are what the curve is for; keep two rows in the dark.
    for (size_t i = 0; i < rows.size() / 2; ++i) rows[i] >>= 2;
    const size_t stride = 4 * width + 64;
    std::vector<uint8_t> out(stride, 0);
    const float logMeans[] = {0.01f, 0.12f, 0.5f, 0.9f};
    LowlightGainTable gains;
    fillLowlightGainTable(logMeans[seed % 4], gains);
    std::vector<int32_t> sums(width + 2);
    lowlightRowFor(path)(rows.data() + offset, rows.data() + stride + offset,
                         rows.data() + 2 * stride + offset, out.data() + offset, width, gains,
                         sums.data());
    return out;
}

ColorEnhanceRowParams colorParams(unsigned seed) {
    static const std::vector<uint32_t> skin = [] {
        std::vector<uint8_t> bytes = randomBytes(4 * 512 * 512, 99);
        std::vector<uint32_t> table(512 * 512);
        std::memcpy(table.data(), bytes.data(), bytes.size());
        return table;
    }();
    ColorEnhanceRowParams p{50.0f, 1.0f, 14.63127f, 0.15f, 90.0f, nullptr, colorEnhanceTables()};
    if (seed % 2) {
        p.skin = skin.data();
        p.colorStep = 100.0f;
        p.suppress = 0.6f;
    }
    return p;
}

std::vector<uint8_t> runColorEnhance(RowPath path, int width, int offset, unsigned seed) {
    std::vector<uint8_t> src = randomBytes(4 * width + 64, seed);
    std::vector<uint8_t> out(4 * width + 64, 0);
    colorEnhanceRowFor(path)(src.data() + offset, out.data() + offset, width, colorParams(seed));
    return out;
}

// A random cube: random values, about half its cells marked for the exact row.
// Seed 3 keeps 8 random blocks of remembered colours, numbered 0..8 in the
// cells; elsewhere the cube row has no blocks and random bits 49..63 must
// not count.
std::vector<uint8_t> runColorEnhanceCube(RowPath path, int width, int offset, unsigned seed) {
    std::vector<uint8_t> src = randomBytes(4 * width + 64, seed);
    const int size = seed % 2 ? 52 : 5;
    std::vector<uint8_t> bytes = randomBytes(8 * size * size * size, seed + 7);
    std::vector<uint64_t> entries(size * size * size);
    std::memcpy(entries.data(), bytes.data(), bytes.size());
    std::vector<uint32_t> blocks;
    if (seed == 3) {
        std::vector<uint8_t> colours = randomBytes(4 * 8 * kColorBlockColours, seed + 11);
        blocks.resize(8 * kColorBlockColours);
        std::memcpy(blocks.data(), colours.data(), colours.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            entries[i] = (entries[i] & ((uint64_t{1} << 49) - 1)) | uint64_t{i % 9} << 49;
        }
    }
    std::vector<uint8_t> out(4 * width + 64, 0);
    colorEnhanceCubeRowFor(path)({entries.data(), size}, blocks.empty() ? nullptr : blocks.data(),
                                 src.data() + offset, out.data() + offset, width, colorParams(seed));
    return out;
}

const YUVOutputCoeffs kBT709Full = {{55, 183, 19}, 128, {-30, -101, 130}, {130, -119, -12}, 32896};

std::vector<uint8_t> runRGBAToY(RowPath path, int width, int offset, unsigned seed) {
    std::vector<uint8_t> src = randomBytes(4 * width + 64, seed);
    std::vector<uint8_t> out(width + 64, 0);
    rgbaToYRowFor(path)(src.data() + offset, out.data() + offset, width, kBT709Full);
    return out;
}

std::vector<uint8_t> runRGBAToUV(RowPath path, int width, int offset, unsigned seed) {
    std::vector<uint8_t> src = randomBytes(8 * width + 128, seed);
    std::vector<uint8_t> out(2 * width + 128, 0);
    uint8_t* u = out.data() + offset;
    uint8_t* v = u + width + 64;
    rgbaToUVRowFor(path)(src.data() + offset, src.data() + 4 * width + 64 + offset, u, v, width,
                         kBT709Full);
    return out;
}

const RowCase kRows[] = {
    {"RGBAToYRow", runRGBAToY},
    {"RGBAToUVRow", runRGBAToUV},
    {"ColorEnhanceRow", runColorEnhance},
    {"ColorEnhanceCubeRow", runColorEnhanceCube},
    {"ChromaAcrossRow", runChromaAcross},
    {"YUVToRGBARow", runYUVToRGBA},
    {"LowlightEnhanceRow", runLowlight},
};

TEST(CpuRows, FastRowsMatchPortableRowsBitForBit) {
    const int widths[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 33, 64, 65, 127, 640};
    const int offsets[] = {0, 1, 3};
    int checked = 0;
    for (RowPath path : {RowPath::kSSE2, RowPath::kAVX2}) {
        if (!rowPathSupported(path)) continue;
        for (const RowCase& row : kRows) {
            for (int width : widths) {
                for (int offset : offsets) {
                    for (unsigned seed = 1; seed <= 4; ++seed) {
                        SCOPED_TRACE(::testing::Message()
                                     << row.name << " path " << static_cast<int>(path)
                                     << " width " << width << " offset " << offset
                                     << " seed " << seed);
                        ASSERT_EQ(row.run(RowPath::kPortable, width, offset, seed),
                                  row.run(path, width, offset, seed));
                        ++checked;
                    }
                }
            }
        }
    }
    if (checked == 0) GTEST_SKIP() << "no fast row set on this processor";
}

}  // namespace
}  // namespace video
}  // namespace kelvo
