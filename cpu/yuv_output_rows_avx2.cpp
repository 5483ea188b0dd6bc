#include "cpu/vec.h"
#if KELVO_CPU_X86
#include <cstdlib>

#include "cpu/vec_avx2.h"
#include "cpu/yuv_output_kernel.h"

namespace kelvo {
namespace video {
namespace {

// The integer rows multiply 16-bit channel pairs by 16-bit weight pairs
// (pmaddwd), 8 pixels to an instruction; the float kernel serves weights
// that do not fit.
bool fitsWords(const int32_t* c) {
    return std::abs(c[0]) <= 32767 && std::abs(c[1]) <= 32767 && std::abs(c[2]) <= 32767;
}

__m256i weightPair(int32_t a, int32_t b) {
    return _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(a) & 0xffff) | static_cast<uint32_t>(b) << 16));
}

// Words (r, b) and (g, a) of each pixel.
__m256i lowBytes() { return _mm256_set1_epi32(0x00ff00ff); }
__m256i redBlue(__m256i p) { return _mm256_and_si256(p, lowBytes()); }
__m256i greenAlpha(__m256i p) { return _mm256_and_si256(_mm256_srli_epi32(p, 8), lowBytes()); }

// (c0 r + c1 g + c2 b + bias) >> 8 for 32-bit lanes of (r, b) and (g, a) words.
__m256i weighted(__m256i rb, __m256i ga, __m256i wRB, __m256i wG, __m256i bias) {
    const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(rb, wRB), _mm256_madd_epi16(ga, wG));
    return _mm256_srai_epi32(_mm256_add_epi32(sum, bias), 8);
}

// 16 results in 32-bit lanes (pixels 0-7, 8-15) to 16 bytes, clamped to 0..255.
__m128i packBytes(__m256i lo, __m256i hi) {
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(words, words), _MM_SHUFFLE(3, 1, 2, 0));
    return _mm256_castsi256_si128(bytes);
}

__m256i load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

}  // namespace

void RGBAToYRow_AVX2(const uint8_t* srcRGBA, uint8_t* dstY, int width, const YUVOutputCoeffs& c) {
    int x = 0;
    if (fitsWords(c.y)) {
        const __m256i wRB = weightPair(c.y[0], c.y[2]), wG = weightPair(c.y[1], 0);
        const __m256i bias = _mm256_set1_epi32(c.yBias);
        for (; x + 16 <= width; x += 16) {
            const __m256i p0 = load(srcRGBA + 4 * x), p1 = load(srcRGBA + 4 * x + 32);
            const __m256i y0 = weighted(redBlue(p0), greenAlpha(p0), wRB, wG, bias);
            const __m256i y1 = weighted(redBlue(p1), greenAlpha(p1), wRB, wG, bias);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dstY + x), packBytes(y0, y1));
        }
    }
    rgbaToYRow<AVX2Ops>(srcRGBA + 4 * x, dstY + x, width - x, c);
}

void RGBAToUVRow_AVX2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                      int width, const YUVOutputCoeffs& c) {
    int x = 0;
    if (fitsWords(c.u) && fitsWords(c.v)) {
        const __m256i wuRB = weightPair(c.u[0], c.u[2]), wuG = weightPair(c.u[1], 0);
        const __m256i wvRB = weightPair(c.v[0], c.v[2]), wvG = weightPair(c.v[1], 0);
        const __m256i bias = _mm256_set1_epi32(c.uvBias);
        const __m256i lowDword = _mm256_set1_epi64x(0xffffffff);
        // Truncated means of four blocks (pixels 0-7 of both rows) as
        // (r, b) and (g, a) words in the low half of each 64-bit lane.
        auto means = [&](__m256i a, __m256i b, __m256i* rb, __m256i* ga) {
            auto mean = [&](__m256i column) {
                const __m256i pair = _mm256_add_epi16(column, _mm256_srli_epi64(column, 32));
                return _mm256_and_si256(_mm256_srli_epi16(pair, 2), lowDword);
            };
            *rb = mean(_mm256_add_epi16(redBlue(a), redBlue(b)));
            *ga = mean(_mm256_add_epi16(greenAlpha(a), greenAlpha(b)));
        };
        // Results in the even 32-bit lanes of blocks 0-3 and 4-7, gathered
        // into lanes 0-7.
        auto blocks = [](__m256i lo, __m256i hi) {
            const __m256i even = _mm256_castps_si256(
                _mm256_shuffle_ps(_mm256_castsi256_ps(lo), _mm256_castsi256_ps(hi), _MM_SHUFFLE(2, 0, 2, 0)));
            return _mm256_permute4x64_epi64(even, _MM_SHUFFLE(3, 1, 2, 0));
        };
        for (; x + 32 <= width; x += 32) {
            __m256i u[2], v[2];
            for (int half = 0; half < 2; ++half) {
                __m256i rb[2], ga[2];
                for (int k = 0; k < 2; ++k) {
                    const int at = 4 * (x + 16 * half + 8 * k);
                    means(load(src0 + at), load(src1 + at), &rb[k], &ga[k]);
                }
                u[half] = blocks(weighted(rb[0], ga[0], wuRB, wuG, bias), weighted(rb[1], ga[1], wuRB, wuG, bias));
                v[half] = blocks(weighted(rb[0], ga[0], wvRB, wvG, bias), weighted(rb[1], ga[1], wvRB, wvG, bias));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dstU + x / 2), packBytes(u[0], u[1]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dstV + x / 2), packBytes(v[0], v[1]));
        }
    }
    rgbaToUVRow<AVX2Ops>(src0 + 4 * x, src1 + 4 * x, dstU + x / 2, dstV + x / 2, width - x, c);
}

}  // namespace video
}  // namespace kelvo
#endif
