// The CPU backend's rows: YUV input, low light and colour enhancement; and
// which tables the process runs with.
#include "checkasm/checkasm.h"
#include "convert/color_space_rows.h"
#include "cpu/yuv_input_rows.h"
#include "denoise/denoiser_rows.h"
#include "denoise/temporal_rows.h"
#include "effects/beauty/cpu/beauty_rows.h"
#include "effects/color_enhance/cpu/color_enhance_rows.h"
#include "effects/lowlight/cpu/lowlight_enhance_rows.h"
#include "effects/lowlight/lowlight_model.h"
#include "frame/plane_change.h"

namespace kelvo {
namespace video {
namespace {

using namespace checkasm;

TEST(Checkasm, YUVInputRows) {
    const YUVInputRows portable = yuvInputRowsFor(0);
    YUVInputRows below = portable;
    const YUVInputRowParams limited709 = {
        {1.164384f, 0.0f, 1.792741f, 1.164384f, -0.213249f, -0.532909f, 1.164384f, 2.112402f, 0.0f},
        16.0f / 255.0f};
    const YUVInputRowParams full601 = {
        {1.0f, 0.0f, 1.402f, 1.0f, -0.344136f, -0.714136f, 1.0f, 1.772f, 0.0f}, 0.0f};
    // No zero weight and a luma weight per channel: the general path.
    const YUVInputRowParams dense = {
        {1.1f, 0.1f, 1.5f, 1.2f, -0.4f, -0.8f, 1.0f, 2.0f, 0.2f}, 0.05f};
    const YUVInputRowParams matrices[] = {limited709, full601, dense};
    for (const CpuLevel& level : fastLevels()) {
        const YUVInputRows fast = yuvInputRowsFor(level.flags);
        Random r(11);
        if (check(fast.chromaAcross, below.chromaAcross, "yuv_input", "chromaAcross", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Input padded = randomInput(r, (w + 1) / 2 + 2);
                OutputPair out(w, r.offset());
                portable.chromaAcross(padded.data(), out.ref.data(), w);
                fast.chromaAcross(padded.data(), out.fast.data(), w);
                out.expectSame(where(level, "chromaAcross", w, t));
            }
        }
        if (check(fast.toRGBA, below.toRGBA, "yuv_input", "toRGBA", level)) {
            const int weights[] = {0, 64, 192, 255};
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Input y0 = randomInput(r, w), y1 = randomInput(r, w), u0 = randomInput(r, w),
                            u1 = randomInput(r, w), v0 = randomInput(r, w), v1 = randomInput(r, w);
                const YUVInputLines lines = {y0.data(), y1.data(),           weights[t % 4],
                                             u0.data(), u1.data(),           v0.data(),
                                             v1.data(), weights[(t / 4) % 4]};
                const YUVInputFixed k = yuvInputFixed(matrices[t % 3]);
                OutputPair out(4 * w, r.offset());
                portable.toRGBA(lines, out.ref.data(), w, k);
                fast.toRGBA(lines, out.fast.data(), w, k);
                out.expectSame(where(level, "toRGBA", w, t));
            }
        }
        below = fast;
    }
}

TEST(Checkasm, LowlightRows) {
    const LowlightRows portable = lowlightRowsFor(0);
    LowlightRows below = portable;
    const float logMeans[] = {0.01f, 0.12f, 0.5f, 0.9f};
    // The adaptive lift's partial strengths, beside the curve itself.
    const float strengths[] = {1.0f, 0.37f, 1.0f, 0.05f, 1.0f};
    const float quiets[] = {kLowlightSharpenLow, -0.3f, -0.5f};
    for (const CpuLevel& level : fastLevels()) {
        const LowlightRows fast = lowlightRowsFor(level.flags);
        Random r(13);
        if (!check(fast.row, below.row, "lowlight", "row", level)) continue;
        LowlightGainTable gains;
        for (int t = 0; t < kTrials; ++t) {
            const int w = r.width();
            Input prev = randomInput(r, 4 * w), cur = randomInput(r, 4 * w);
            const Input next = randomInput(r, 4 * w);
            // Dark pictures are what the curve is for.
            for (int i = 0; i < 4 * w; ++i) prev.data()[i] >>= 2, cur.data()[i] >>= 2;
            fillLowlightGainTable(logMeans[t % 4], strengths[t % 5], strengths[t % 3],
                                  quiets[t % 3], gains);
            std::vector<uint16_t> sums(w + 2);
            OutputPair out(4 * w, r.offset());
            portable.row(prev.data(), cur.data(), next.data(), out.ref.data(), w, gains,
                         sums.data());
            fast.row(prev.data(), cur.data(), next.data(), out.fast.data(), w, gains, sums.data());
            out.expectSame(where(level, "row", w, t));
        }
        below = fast;
    }
}

// Without a skin table and with a random one.
ColorEnhanceRowParams colorParams(int trial) {
    static const std::vector<uint32_t> skin = [] {
        Random r(99);
        std::vector<uint32_t> table(512 * 512);
        r.fill(reinterpret_cast<uint8_t*>(table.data()), table.size() * 4);
        return table;
    }();
    ColorEnhanceRowParams p{50.0f, 1.0f, 14.63127f, 0.15f, 90.0f, nullptr, colorEnhanceTables()};
    if (trial % 2) {
        p.skin = skin.data();
        p.colorStep = 100.0f;
        p.suppress = 0.6f;
    }
    return p;
}

// A random cube, about half its cells marked for the exact row; every
// fourth trial adds 8 random blocks of remembered colours, numbered 0..8 in
// the cells, elsewhere the cube row has no blocks and random bits 49..63
// must not count.
struct RandomCube {
    RandomCube(Random& r, int trial) : size(trial % 2 ? 52 : 5), entries(size * size * size) {
        r.fill(reinterpret_cast<uint8_t*>(entries.data()), entries.size() * 8);
        if (trial % 4 != 3) return;
        blocks.resize(8 * kColorBlockColors);
        r.fill(reinterpret_cast<uint8_t*>(blocks.data()), blocks.size() * 4);
        for (size_t i = 0; i < entries.size(); ++i)
            entries[i] = (entries[i] & ((uint64_t{1} << 49) - 1)) | uint64_t{i % 9} << 49;
    }
    int size;
    std::vector<uint64_t> entries;
    std::vector<uint32_t> blocks;
};

TEST(Checkasm, ColorEnhanceRows) {
    const ColorEnhanceRows portable = colorEnhanceRowsFor(0);
    ColorEnhanceRows below = portable;
    for (const CpuLevel& level : fastLevels()) {
        const ColorEnhanceRows fast = colorEnhanceRowsFor(level.flags);
        Random r(17);
        if (check(fast.row, below.row, "color_enhance", "row", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Input src = randomInput(r, 4 * w);
                OutputPair out(4 * w, r.offset());
                portable.row(src.data(), out.ref.data(), w, colorParams(t));
                fast.row(src.data(), out.fast.data(), w, colorParams(t));
                out.expectSame(where(level, "row", w, t));
            }
        }
        if (check(fast.cubeRow, below.cubeRow, "color_enhance", "cubeRow", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Input src = randomInput(r, 4 * w);
                const RandomCube cube(r, t);
                const ColorCubeView view{cube.entries.data(), cube.size};
                const uint32_t* blocks = cube.blocks.empty() ? nullptr : cube.blocks.data();
                OutputPair out(4 * w, r.offset());
                portable.cubeRow(view, blocks, src.data(), out.ref.data(), w, colorParams(t));
                fast.cubeRow(view, blocks, src.data(), out.fast.data(), w, colorParams(t));
                out.expectSame(where(level, "cubeRow", w, t));
                // In place, as the effect may run: each pixel read before it is written.
                for (const ColorEnhanceCubeRowFn row : {portable.cubeRow, fast.cubeRow}) {
                    std::vector<uint8_t> same(src.data(), src.data() + 4 * w);
                    row(view, blocks, same.data(), same.data(), w, colorParams(t));
                    EXPECT_EQ(same, out.ref.bytes()) << where(level, "cubeRow in place", w, t);
                }
            }
        }
        if (check(fast.encodedRow, below.encodedRow, "color_enhance", "encodedRow", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Input src = randomInput(r, 4 * w);
                // Float outputs start 4-byte aligned, as float arrays do.
                OutputPair out(3 * sizeof(float) * w, 4 * (r.offset() / 4));
                portable.encodedRow(src.data(), out.ref.as<float>(), w, colorParams(t));
                fast.encodedRow(src.data(), out.fast.as<float>(), w, colorParams(t));
                out.expectSame(where(level, "encodedRow", w, t));
            }
        }
        below = fast;
    }
}

// The tables the library runs with are those of this run's flags, the
// fastest rows KELVO_CPU_MASK allows.
TEST(Checkasm, ProcessTablesFollowTheRunsFlags) {
    const CpuFlags flags = cpuFlags();
    EXPECT_EQ(packedRows().toY, packedRowsFor(flags).toY);
    EXPECT_EQ(packedRows().fromYUV, packedRowsFor(flags).fromYUV);
    EXPECT_EQ(packedRows().keepAlpha, packedRowsFor(flags).keepAlpha);
    EXPECT_EQ(planeChangeRows().addRow, planeChangeRowsFor(flags).addRow);
    EXPECT_EQ(yuvInputRows().toRGBA, yuvInputRowsFor(flags).toRGBA);
    EXPECT_EQ(lowlightRows().row, lowlightRowsFor(flags).row);
    EXPECT_EQ(colorEnhanceRows().cubeRow, colorEnhanceRowsFor(flags).cubeRow);
    EXPECT_EQ(beautyRows().mix, beautyRowsFor(flags).mix);
    EXPECT_EQ(denoiserRows().denoiseBlock, denoiserRowsFor(flags).denoiseBlock);
    EXPECT_EQ(denoiserRows().blendStatic, denoiserRowsFor(flags).blendStatic);
    EXPECT_EQ(temporalRows().blend, temporalRowsFor(flags).blend);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
