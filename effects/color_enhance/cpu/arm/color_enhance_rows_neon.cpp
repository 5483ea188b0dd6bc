#include <arm_neon.h>

#include <cstddef>
#include <cstring>

#include "effects/color_enhance/cpu/arm/color_enhance_rows_arm.h"
#include "cpu/vec_neon.h"
#include "cpu/vec16_neon.h"
#include "effects/color_enhance/cpu/color_enhance_kernel.h"

namespace kelvo {
namespace video {
namespace {

// The colour cube read at 8-bit colours (colorEnhanceLevelRow), eight
// pixels at a time with the corners' entries and weights transposed into
// channel vectors, where the shared group reads one pixel a vector. The
// grid indices come from the levels by arithmetic rather than the axis
// tables (one multiply per channel against six table reads a pixel).
constexpr int kLevelStep = kColorBlockStep;
constexpr int kLevelSize = 255 / kLevelStep + 1;
static_assert(kLevelStep == 5, "level / 5 as (level * 205) >> 10 below, exact for 0..255");
static_assert(CubeLevelTables::kCodeShift == 20 && sizeof(CubeLevelTables::Corners) == 16 &&
                  offsetof(CubeLevelTables::Corners, d2) ==
                      offsetof(CubeLevelTables::Corners, d1) + 4,
              "corner offsets 16 codes, above the 18 bits of the grid index; d1 and d2 adjacent");

// Lanes 2k of four vectors of two entries (or weight quads) in c0, c2, and
// lanes 2k + 1 in c1, c3, each in pixel order: an 8 x 4 transpose of 16-bit
// lanes.
KELVO_CPU_INLINE void splitQuads(const uint16x8_t q[4], uint16x8_t c[4]) {
    const uint16x8_t a = vuzp1q_u16(q[0], q[1]), b = vuzp2q_u16(q[0], q[1]);
    const uint16x8_t d = vuzp1q_u16(q[2], q[3]), e = vuzp2q_u16(q[2], q[3]);
    c[0] = vuzp1q_u16(a, d), c[2] = vuzp2q_u16(a, d);
    c[1] = vuzp1q_u16(b, e), c[3] = vuzp2q_u16(b, e);
}

// The level of one channel from its four corners' values and weights. The
// weights are 0..255 and sum to 255, so sum w (v - 32768) + round is
// sum w v + 2^13 less 255 * 2^14, and the shifted sum less 255 the level.
KELVO_CPU_INLINE uint8x8_t levelOf(const uint16x8_t w[4], const uint16x8_t v[4]) {
    uint32x4_t lo = vmull_u16(vget_low_u16(w[0]), vget_low_u16(v[0]));
    uint32x4_t hi = vmull_high_u16(w[0], v[0]);
    for (int k = 1; k < 4; ++k) {
        lo = vmlal_u16(lo, vget_low_u16(w[k]), vget_low_u16(v[k]));
        hi = vmlal_high_u16(hi, w[k], v[k]);
    }
    const uint16x8_t shifted = vqrshrn_high_n_u32(vqrshrn_n_u32(lo, 14), hi, 14);
    return vqmovun_s16(vsubq_s16(vreinterpretq_s16_u16(shifted), vdupq_n_s16(255)));
}
static_assert(kCubeLevelShift == 14 && kCubeLevelRound == (1 << 13) + (255 << 14),
              "levelOf's shift and rounding");

// colorEnhanceLevelGroup for the 8 pixels from x.
KELVO_CPU_INLINE int colorEnhanceLevelGroup8(const ColorCubeView& cube, const CubeLevelTables& t,
                                             const uint32_t* blocks, const uint8_t* src,
                                             uint8_t* dst, int x, uint8_t* held, int* at) {
    const uint8x8x4_t px = vld4_u8(src + 4 * x);
    uint16x8_t cell[3], fraction[3];
    for (int c = 0; c < 3; ++c) {
        // The top level takes the last cell with its whole step.
        cell[c] = vminq_u16(vshrq_n_u16(vmull_u8(px.val[c], vdup_n_u8(205)), 10),
                            vdupq_n_u16(kLevelSize - 2));
        fraction[c] = vmlsq_n_u16(vmovl_u8(px.val[c]), cell[c], kLevelStep);
    }
    constexpr int kSide = kLevelStep + 1;
    const uint16x8_t code =
        vmlaq_n_u16(fraction[0], vmlaq_n_u16(fraction[1], fraction[2], kSide), kSide);
    const uint16x8_t near = vmlaq_n_u16(cell[0], cell[1], kLevelSize);
    constexpr uint16_t kPlane = kLevelSize * kLevelSize;
    // Each pixel's first corner in bits 0..19 and above them 16 times its
    // code, the byte offset of its Corners.
    const uint32x4_t first[2] = {
        vsliq_n_u32(vmlal_n_u16(vmovl_u16(vget_low_u16(near)), vget_low_u16(cell[2]), kPlane),
                    vmovl_u16(vget_low_u16(code)), 24),
        vsliq_n_u32(vmlal_high_n_u16(vmovl_high_u16(near), cell[2], kPlane), vmovl_high_u16(code),
                    24)};
    const uint64_t pairs[4] = {vgetq_lane_u64(vreinterpretq_u64_u32(first[0]), 0),
                               vgetq_lane_u64(vreinterpretq_u64_u32(first[0]), 1),
                               vgetq_lane_u64(vreinterpretq_u64_u32(first[1]), 0),
                               vgetq_lane_u64(vreinterpretq_u64_u32(first[1]), 1)};

    const uint64_t* entries = cube.entries;
    const ptrdiff_t diagonal = t.diagonal;
    const uint8_t* corners = reinterpret_cast<const uint8_t*>(t.corners.data());
    uint16x8_t q[4][4], w[4];
    for (int j = 0; j < 4; ++j) {
        uint64x1_t e[4][2], weights[2];
        for (int h = 0; h < 2; ++h) {
            const uint32_t s = static_cast<uint32_t>(pairs[j] >> (32 * h));
            const uint8_t* k = corners + (s >> CubeLevelTables::kCodeShift);
            // The steps d1 and d2 in one read.
            int64_t steps;
            std::memcpy(&steps, k + offsetof(CubeLevelTables::Corners, d1), 8);
            // Pointers stepped from the first corner, so that every read,
            // in a lane or not, takes its address as it is.
            const uint64_t* e0 = entries + (s & CubeLevelTables::kCellMask);
            const uint64_t* e1 = e0 + static_cast<int32_t>(steps);
            const uint64_t* e2 = e1 + (steps >> 32);
            e[0][h] = vld1_u64(e0);
            e[1][h] = vld1_u64(e1);
            e[2][h] = vld1_u64(e2);
            e[3][h] = vld1_u64(e0 + diagonal);
            weights[h] = vld1_u64(
                reinterpret_cast<const uint64_t*>(k + offsetof(CubeLevelTables::Corners, w)));
        }
        for (int k = 0; k < 4; ++k) q[k][j] = vreinterpretq_u16_u64(vcombine_u64(e[k][0], e[k][1]));
        w[j] = vreinterpretq_u16_u64(vcombine_u64(weights[0], weights[1]));
    }
    uint16x8_t weight[4], value[4][4];
    splitQuads(w, weight);
    for (int k = 0; k < 4; ++k) splitQuads(q[k], value[k]);

    uint8x8_t level[3];
    for (int c = 0; c < 3; ++c) {
        const uint16x8_t v[4] = {value[0][c], value[1][c], value[2][c], value[3][c]};
        level[c] = levelOf(weight, v);
    }

    // Bits 48..63 of the first corner: the mark, then the owner's number.
    // As bit masks of the lanes, so that only the marked ones are visited.
    const uint16x8_t owner = value[0][3];
    const uint16x8_t lanes = {1, 2, 4, 8, 16, 32, 64, 128};
    const uint32_t marks = vaddvq_u16(vandq_u16(vtstq_u16(owner, vdupq_n_u16(1)), lanes));
    uint32_t remembered = 0;
    alignas(16) uint32_t index[8];
    int count = 0;
    if (marks) {
        if (blocks) {
            remembered =
                marks & vaddvq_u16(vandq_u16(vtstq_u16(owner, vdupq_n_u16(0xfffe)), lanes));
            // Where a cell has an owner, its colour in the owner's block.
            const uint16x8_t number = vshrq_n_u16(owner, 1);
            const uint32x4_t lo =
                vmlal_n_u16(vmovl_u16(vget_low_u16(code)), vget_low_u16(number), kColorBlockColors);
            const uint32x4_t hi = vmlal_high_n_u16(vmovl_high_u16(code), number, kColorBlockColors);
            vst1q_u32(index, vsubq_u32(lo, vdupq_n_u32(kColorBlockColors)));
            vst1q_u32(index + 4, vsubq_u32(hi, vdupq_n_u32(kColorBlockColors)));
        }
        // Before the store: src may be dst.
        for (uint32_t m = marks & ~remembered; m; m &= m - 1) {
            const int i = __builtin_ctz(m);
            std::memcpy(held + 4 * count, src + 4 * (x + i), 4);
            at[count++] = x + i;
        }
    }
    const uint8x16_t rb = vcombine_u8(level[0], level[2]);
    const uint8x16_t ga = vcombine_u8(level[1], vdup_n_u8(255));
    const uint16x8_t lo = vreinterpretq_u16_u8(vzip1q_u8(rb, ga));
    const uint16x8_t hi = vreinterpretq_u16_u8(vzip2q_u8(rb, ga));
    vst1q_u8(dst + 4 * x, vreinterpretq_u8_u16(vzip1q_u16(lo, hi)));
    vst1q_u8(dst + 4 * x + 16, vreinterpretq_u8_u16(vzip2q_u16(lo, hi)));
    for (uint32_t m = remembered; m; m &= m - 1) {
        const int i = __builtin_ctz(m);
        const uint32_t colour = blocks[index[i]] | 0xff000000u;
        std::memcpy(dst + 4 * (x + i), &colour, 4);
    }
    return count;
}

void colorEnhanceLevelRow8(const ColorCubeView& cube, const CubeLevelTables& t,
                           const uint32_t* blocks, const uint8_t* src, uint8_t* dst, int width,
                           const ColorEnhanceRowParams& p) {
    constexpr int kSpan = 256;
    static_assert(kSpan % NEONOps::N == 0, "whole vectors of held pixels fit");
    uint8_t held[4 * kSpan];
    int at[kSpan];
    for (int x = 0; x < width;) {
        const int end = width - x < kSpan ? width : x + kSpan;
        int count = 0;
        for (; x + 8 <= end; x += 8)
            count +=
                colorEnhanceLevelGroup8(cube, t, blocks, src, dst, x, held + 4 * count, at + count);
        for (; x < end; ++x) {
            count +=
                colorEnhanceLevelPixel(cube, t, blocks, src, dst, x, held + 4 * count, at + count);
        }
        if (count == 0) continue;
        // Whole vectors: the last pixel repeated rather than a scalar tail.
        const int whole = (count + NEONOps::N - 1) / NEONOps::N * NEONOps::N;
        for (int i = count; i < whole; ++i) std::memcpy(held + 4 * i, held + 4 * (count - 1), 4);
        colorEnhanceRow<NEONOps>(held, held, whole, p);
        for (int i = 0; i < count; ++i) std::memcpy(dst + 4 * at[i], held + 4 * i, 4);
    }
}

}  // namespace

void ColorEnhanceRow_NEON(const uint8_t* src, uint8_t* dst, int width,
                          const ColorEnhanceRowParams& p) {
    colorEnhanceRow<NEONOps>(src, dst, width, p);
}

void ColorEnhanceEncodedRow_NEON(const uint8_t* src, float* dst, int width,
                                 const ColorEnhanceRowParams& p) {
    colorEnhanceEncodedRow<NEONOps>(src, dst, width, p);
}

void ColorEnhanceCubeRow_NEON(const ColorCubeView& cube, const uint32_t* blocks, const uint8_t* src,
                              uint8_t* dst, int width, const ColorEnhanceRowParams& p) {
    const CubeLevelTables* levels = cubeLevelTables(cube.size);
    if (levels && levels->step == kLevelStep && cube.size == kLevelSize) {
        colorEnhanceLevelRow8(cube, *levels, blocks, src, dst, width, p);
    } else {
        colorEnhanceCubeRow<NEONOps, NEONOps16>(cube, blocks, src, dst, width, p);
    }
}

}  // namespace video
}  // namespace kelvo
