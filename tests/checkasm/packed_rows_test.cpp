// The packed converters' rows (convert/color_space_rows.h).
#include "checkasm/checkasm.h"
#include "convert/color_space_rows.h"

namespace kelvo {
namespace video {
namespace {

using namespace checkasm;

constexpr const char* kFamily = "packed";

// Every coefficient set the range and matrix codes reach, in every order.
PackedRowCoeffs randomCoeffs(Random& r) {
    const int codes[][2] = {{1, 1}, {1, 4}, {1, 3}, {0, 1}, {0, 0}, {-1, -1}, {1, 7}, {0, 8}};
    const auto& code = codes[r.between(0, 7)];
    const auto order = static_cast<PackedOrder>(r.between(0, 2));
    return packedRowCoeffs(order, yuvMatrixFor(code[1], code[0]).fixed);
}

// Corners of the colour cube now and then, one per 2x2 block, so that
// the block means keep them: the largest luma and chroma sums, past both
// clamps.
void fillPixels(Random& r, uint8_t* p, int width, bool corners) {
    r.fill(p, static_cast<size_t>(width) * 4);
    if (!corners) return;
    for (int x = 0; x < width; x += 2) {
        const uint32_t c = r.bits() % 8;
        for (int k = 0; k < 8 && 4 * x + k < 4 * width; ++k)
            p[4 * x + k] = (c >> (k % 4 % 3)) & 1 ? 255 : 0;
    }
}

TEST(Checkasm, PackedRows) {
    const PackedRows portable = packedRowsFor(0);
    PackedRows below = portable;
    for (const CpuLevel& level : fastLevels()) {
        const PackedRows fast = packedRowsFor(level.flags);
        Random r(7);
        if (check(fast.toY, below.toY, kFamily, "toY", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = t == 0 ? 1921 : r.width();
                Input src(r, 4 * static_cast<size_t>(w));
                fillPixels(r, src.data(), w, t % 4 == 1);
                const PackedRowCoeffs c = randomCoeffs(r);
                OutputPair out(w, r.offset());
                portable.toY(src.data(), out.ref.data(), w, c);
                fast.toY(src.data(), out.fast.data(), w, c);
                out.expectSame(where(level, "toY", w, t));
            }
        }
        if (check(fast.toUV, below.toUV, kFamily, "toUV", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width(), cw = (w + 1) / 2;
                Input src0(r, 4 * static_cast<size_t>(w)), src1(r, 4 * static_cast<size_t>(w));
                // Cube corners: both rows alike, so that the block means keep them.
                fillPixels(r, src0.data(), w, t % 4 == 1);
                if (t % 4 == 1) std::memcpy(src1.data(), src0.data(), 4 * static_cast<size_t>(w));
                const PackedRowCoeffs c = randomCoeffs(r);
                OutputPair u(cw, r.offset()), v(cw, r.offset());
                portable.toUV(src0.data(), src1.data(), u.ref.data(), v.ref.data(), w, c);
                fast.toUV(src0.data(), src1.data(), u.fast.data(), v.fast.data(), w, c);
                u.expectSame(where(level, "toUV (u)", w, t));
                v.expectSame(where(level, "toUV (v)", w, t));
            }
        }
        if (check(fast.fromYuv, below.fromYuv, kFamily, "fromYuv", level)) {
            const int layouts[][3] = {{2, 1, 0}, {3, 2, 1}, {1, 2, 3}};  // ARGB, RGBA, BGRA
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width(), cw = (w + 1) / 2;
                const Input y = randomInput(r, w), u = randomInput(r, cw), v = randomInput(r, cw);
                const auto& l = layouts[t % 3];
                const YuvFixedDecode& k =
                    yuvMatrix(static_cast<YuvStandard>(r.between(0, 2)), r.bits() % 2).fixedDecode;
                OutputPair out(4 * w, r.offset());
                portable.fromYuv(y.data(), u.data(), v.data(), out.ref.data(), w, k, l[0], l[1],
                                 l[2]);
                fast.fromYuv(y.data(), u.data(), v.data(), out.fast.data(), w, k, l[0], l[1], l[2]);
                out.expectSame(where(level, "fromYuv", w, t));
            }
        }
        below = fast;
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
