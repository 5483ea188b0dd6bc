#include "denoise/denoiser_filter_c.h"

#include "denoise/denoiser_rows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "denoise/denoiser_model.h"

namespace kelvo {
namespace video {

void CopyBlock16x16_C(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride) {
    for (int y = 0; y < 16; ++y) {
        std::memcpy(dst, src, 16);
        src += srcStride;
        dst += dstStride;
    }
}

uint32_t Variance16x8_C(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                        uint32_t* sse) {
    int sum = 0;
    uint32_t squares = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int d = a[x] - b[x];
            sum += d;
            squares += static_cast<uint32_t>(d * d);
        }
        a += 2 * aStride;
        b += 2 * bStride;
    }
    if (sse) *sse = squares;
    const int64_t sum2 = static_cast<int64_t>(sum) * sum;
    return squares - static_cast<uint32_t>(sum2 >> 7);
}

BlockDecision DenoiseBlock_C(const uint8_t* reference, int referenceStride, uint8_t* out,
                             int outStride, const uint8_t* source, int sourceStride, int motion,
                             int strong, int* sumDiff) {
    (void)motion;
    const int s = strong ? 1 : 0;
    const int step = s * kDenoiserStrongStep;
    const int smallLimit = kDenoiserStillLimit + step;
    const int adjust1 = kDenoiserAdjustments[0] + step;
    const int adjust2 = kDenoiserAdjustments[1] + step;
    const int adjust3 = kDenoiserAdjustments[2] + step;

    int columnSums[16] = {};
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int r = reference[x];
            const int v = source[x];
            const int d = r - v;
            const int ad = std::abs(d);
            if (ad <= smallLimit) {
                out[x] = static_cast<uint8_t>(r);
                columnSums[x] += d;
                continue;
            }
            // Each adjustment is at most |d|, so out never passes the reference.
            const int adjustment = ad <= kDenoiserBandLimits[0]   ? adjust1
                                   : ad <= kDenoiserBandLimits[1] ? adjust2
                                                                  : adjust3;
            if (d > 0) {
                out[x] = static_cast<uint8_t>(std::min(255, v + adjustment));
                columnSums[x] += adjustment;
            } else {
                out[x] = static_cast<uint8_t>(std::max(0, v - adjustment));
                columnSums[x] -= adjustment;
            }
        }
        reference += referenceStride;
        source += sourceStride;
        out += outStride;
    }

    int blockSum = 0;
    for (int x = 0; x < 16; ++x) blockSum += std::min(columnSums[x], kDenoiserColumnSumCap);
    const int diff = std::abs(blockSum);
    if (sumDiff) *sumDiff = diff;
    return diff > denoiserCopyLimit(s) ? kCopyBlock : kFilterBlock;
}

void DenoiserFilterC::copyBlock16x16(const uint8_t* src, int srcStride, uint8_t* dst,
                                     int dstStride) {
    CopyBlock16x16_C(src, srcStride, dst, dstStride);
}

uint32_t DenoiserFilterC::variance16x8(const uint8_t* a, int aStride, const uint8_t* b, int bStride,
                                       uint32_t* sse) {
    return Variance16x8_C(a, aStride, b, bStride, sse);
}

BlockDecision DenoiserFilterC::denoiseBlock(const uint8_t* reference, int referenceStride,
                                            uint8_t* out, int outStride, const uint8_t* source,
                                            int sourceStride, int motion, int strong,
                                            int* sumDiff) {
    return DenoiseBlock_C(reference, referenceStride, out, outStride, source, sourceStride, motion,
                          strong, sumDiff);
}

}  // namespace video
}  // namespace kelvo
