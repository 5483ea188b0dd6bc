#include "effects/color_enhance/cpu/color_enhance_kernel.h"

#include <cmath>
#include <cstring>
#include <algorithm>

#include "system/portable_math.h"

namespace kelvo {
namespace video {

namespace {

float encodedValue(float v) {
    return static_cast<float>(std::min(1.0, std::max(0.0, unclippedEncoding<double>(v))));
}

// The 8-bit level the pass writes for linear value v: a unorm8 framebuffer
// write of its encoding.
int encodedLevel(float v) { return static_cast<int>(encodedValue(v) * 255.0f + 0.5f); }

float floatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

uint32_t bitsFromFloat(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

struct Tables {
    float linear[256];
    int32_t encode[kEncodeBins];

    Tables() {
        for (int i = 0; i < 256; ++i) {
            const float c = static_cast<float>(i) / 255.0f;
            const double lin = c <= kSrgbDecodeKnee
                                   ? static_cast<double>(c * kSrgbDecodeSlope)
                                   : portable_math::pow(static_cast<double>(c * kSrgbDecodeScale +
                                                                            kSrgbDecodeOffset),
                                                        kSrgbDecodeGamma);
            linear[i] = kXyzScale * static_cast<float>(lin);
        }
        // Non-negative floats order like their bit patterns: bisect those
        // for the first value of every level.
        float threshold[257];
        threshold[0] = 0.0f;
        for (int level = 1; level <= 255; ++level) {
            uint32_t lo = 0, hi = bitsFromFloat(1.0f);
            while (lo < hi) {
                const uint32_t mid = lo + (hi - lo) / 2;
                if (encodedLevel(floatFromBits(mid)) >= level) {
                    hi = mid;
                } else {
                    lo = mid + 1;
                }
            }
            threshold[level] = floatFromBits(lo);
        }
        threshold[256] = 2.0f;  // never reached
        int level = 0;
        for (int j = 0; j < kEncodeBins; ++j) {
            const float start = static_cast<float>(j) / kEncodeBins;
            while (level < 255 && threshold[level + 1] <= start) ++level;
            const int32_t next = static_cast<int32_t>(
                std::ceil(static_cast<double>(threshold[level + 1]) * kEncodeOne));
            encode[j] = (std::min(next, kEncodeOne + 1) << 8) | level;
        }
    }
};

}  // namespace

const ColorEnhanceTables& colorEnhanceTables() {
    static const Tables tables;
    static const ColorEnhanceTables view{tables.linear, tables.encode};
    return view;
}

void ColorEnhanceRow_C(const uint8_t* src, uint8_t* dst, int width,
                       const ColorEnhanceRowParams& p) {
    colorEnhanceRow<ScalarOps>(src, dst, width, p);
}

void ColorEnhanceEncodedRow_C(const uint8_t* src, float* dst, int width,
                              const ColorEnhanceRowParams& p) {
    colorEnhanceEncodedRow<ScalarOps>(src, dst, width, p);
}

void ColorEnhanceCubeRow_C(const ColorCubeView& cube, const uint32_t* blocks, const uint8_t* src,
                           uint8_t* dst, int width, const ColorEnhanceRowParams& p) {
    colorEnhanceCubeRow<ScalarOps>(cube, blocks, src, dst, width, p);
}

ColorEnhanceRows colorEnhanceRowsFor(CpuFlags flags) {
    ColorEnhanceRows rows = {ColorEnhanceRow_C, ColorEnhanceCubeRow_C, ColorEnhanceEncodedRow_C};
    colorEnhanceRowsInitArch(rows, flags);
    return rows;
}

const ColorEnhanceRows& colorEnhanceRows() {
    static const ColorEnhanceRows rows = colorEnhanceRowsFor(cpuFlags());
    return rows;
}

}  // namespace video
}  // namespace kelvo
