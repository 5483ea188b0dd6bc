// The packed converters' rows (convert/color_space_rows.h) and the row that
// carries a change over to the caller's samples (frame/plane_change.h).
#include "checkasm/checkasm.h"
#include "convert/color_space_rows.h"
#include "frame/plane_change.h"

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
        if (check(fast.fromYUV, below.fromYUV, kFamily, "fromYUV", level)) {
            const int layouts[][3] = {{2, 1, 0}, {3, 2, 1}, {1, 2, 3}};  // ARGB, RGBA, BGRA
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width(), cw = (w + 1) / 2;
                const Input y = randomInput(r, w), u = randomInput(r, cw), v = randomInput(r, cw);
                const auto& l = layouts[t % 3];
                const YUVFixedDecode& k =
                    yuvMatrix(static_cast<YUVStandard>(r.between(0, 2)), r.bits() % 2).fixedDecode;
                OutputPair out(4 * w, r.offset());
                portable.fromYUV(y.data(), u.data(), v.data(), out.ref.data(), w, k, l[0], l[1],
                                 l[2]);
                fast.fromYUV(y.data(), u.data(), v.data(), out.fast.data(), w, k, l[0], l[1], l[2]);
                out.expectSame(where(level, "fromYUV", w, t));
            }
        }
        if (check(fast.keepAlpha, below.keepAlpha, kFamily, "keepAlpha", level)) {
            const uint32_t masks[] = {0xff000000u, 0x000000ffu, 0u, 0xffffffffu};
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Input colour(r, 4 * static_cast<size_t>(w), 4);
                OutputPair out(4 * w, r.offset());
                r.fill(out.ref.data(), 4 * static_cast<size_t>(w));
                std::memcpy(out.fast.data(), out.ref.data(), 4 * static_cast<size_t>(w));
                const uint32_t mask = masks[t % 4];
                portable.keepAlpha(out.ref.data(), colour.as<uint32_t>(), w, mask);
                fast.keepAlpha(out.fast.data(), colour.as<uint32_t>(), w, mask);
                out.expectSame(where(level, "keepAlpha", w, t));
            }
        }
        below = fast;
    }
}

TEST(Checkasm, PlaneChangeRows) {
    const PlaneChangeRows portable = planeChangeRowsFor(0);
    PlaneChangeRows below = portable;
    for (const CpuLevel& level : fastLevels()) {
        const PlaneChangeRows fast = planeChangeRowsFor(level.flags);
        Random r(5);
        if (check(fast.addRow, below.addRow, "plane_change", "addRow", level)) {
            for (int t = 0; t < kTrials; ++t) {
                const int w = r.width();
                const Input now = randomInput(r, w), was = randomInput(r, w);
                OutputPair out(w, r.offset());
                r.fill(out.ref.data(), static_cast<size_t>(w));
                // Extremes now and then, where the sum clamps.
                if (t % 3 == 0) std::memset(out.ref.data(), t % 2 ? 255 : 0, w / 2);
                std::memcpy(out.fast.data(), out.ref.data(), static_cast<size_t>(w));
                portable.addRow(out.ref.data(), now.data(), was.data(), w);
                fast.addRow(out.fast.data(), now.data(), was.data(), w);
                out.expectSame(where(level, "addRow", w, t));
            }
        }
        below = fast;
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
