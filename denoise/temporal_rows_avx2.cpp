// AVX2 rows of the strong denoiser, bit-exact with the portable ones: the
// SSE2 forms with 16 samples in 16-bit lanes per step.
#include "denoise/temporal_rows.h"

#if KELVO_CPU_X86

#include <immintrin.h>

namespace kelvo {
namespace video {

namespace {

inline __m128i load16(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m256i load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
inline void store(void* p, __m256i v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
// 16 bytes widened to 16-bit lanes.
inline __m256i widen(const uint8_t* p) { return _mm256_cvtepu8_epi16(load16(p)); }
// 16 lanes of 0..255 back to bytes, in order.
inline void narrow(uint8_t* p, __m256i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)));
}

inline __m128i absDiff(__m128i a, __m128i b) {
    return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
}

void columnSumsAVX2(const uint8_t* s0, const uint8_t* r0, const uint8_t* s1, const uint8_t* r1,
                    const uint8_t* s2, const uint8_t* r2, uint16_t* sum, uint16_t* blur, int width,
                    int accumulate) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i a0 = load16(s0 + x), a1 = load16(s1 + x), a2 = load16(s2 + x);
        __m256i d =
            _mm256_add_epi16(_mm256_add_epi16(_mm256_cvtepu8_epi16(absDiff(a0, load16(r0 + x))),
                                              _mm256_cvtepu8_epi16(absDiff(a1, load16(r1 + x)))),
                             _mm256_cvtepu8_epi16(absDiff(a2, load16(r2 + x))));
        if (accumulate) d = _mm256_add_epi16(d, load(sum + x));
        store(sum + x, d);
        if (blur) {
            const __m256i m1 = _mm256_cvtepu8_epi16(a1);
            store(blur + x, _mm256_add_epi16(_mm256_add_epi16(_mm256_cvtepu8_epi16(a0),
                                                              _mm256_cvtepu8_epi16(a2)),
                                             _mm256_add_epi16(m1, m1)));
        }
    }
    if (x < width)
        columnSumsC(s0 + x, r0 + x, s1 + x, r1 + x, s2 + x, r2 + x, sum + x,
                    blur ? blur + x : nullptr, width - x, accumulate);
}

void weightsAVX2(const uint16_t* sum, const uint8_t* floor, uint8_t* weight, int width,
                 const TemporalRamp& ramp) {
    const __m256i low = _mm256_set1_epi16(ramp.low), span = _mm256_set1_epi16(ramp.span),
                  slope = _mm256_set1_epi16(ramp.slope),
                  minWeight = _mm256_set1_epi16(ramp.minWeight),
                  highMinusOne = _mm256_set1_epi16(static_cast<int16_t>(ramp.low + ramp.span - 1)),
                  full = _mm256_set1_epi16(kTemporalWeightOne), zero = _mm256_setzero_si256();
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint16_t* s = sum + x;
        const __m256i l2 = load(s - 2), l1 = load(s - 1), c = load(s), r1 = load(s + 1),
                      r2 = load(s + 2);
        const __m256i centre = _mm256_add_epi16(l1, _mm256_add_epi16(c, r1));
        const __m256i m = _mm256_max_epi16(
            _mm256_max_epi16(_mm256_add_epi16(l2, _mm256_add_epi16(l1, c)), centre),
            _mm256_add_epi16(c, _mm256_add_epi16(r1, r2)));
        const __m256i excess =
            _mm256_min_epi16(_mm256_max_epi16(_mm256_sub_epi16(m, low), zero), span);
        const __m256i ramped = _mm256_add_epi16(
            minWeight, _mm256_srli_epi16(_mm256_mullo_epi16(excess, slope), kTemporalSlopeBits));
        const __m256i above = _mm256_cmpgt_epi16(m, highMinusOne);
        __m256i w = _mm256_blendv_epi8(ramped, full, above);
        if (floor) w = _mm256_max_epi16(w, widen(floor + x));
        narrow(weight + x, w);
    }
    if (x < width)
        temporalWeightsC(sum + x, floor ? floor + x : nullptr, weight + x, width - x, ramp);
}

void blendAVX2(const uint8_t* reference, const uint8_t* source, const uint16_t* blur, int limit,
               const uint8_t* weight, uint8_t* out, int width) {
    const __m256i full = _mm256_set1_epi16(kTemporalWeightOne),
                  half = _mm256_set1_epi16(kTemporalWeightOne / 2),
                  eight = _mm256_set1_epi16((1 << kTemporalBinomialBits) / 2),
                  lim = _mm256_set1_epi16(static_cast<int16_t>(limit)),
                  negLim = _mm256_set1_epi16(static_cast<int16_t>(-limit));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i r = widen(reference + x), w = widen(weight + x);
        __m256i s = widen(source + x);
        if (blur) {
            const __m256i c = load(blur + x);
            const __m256i mean = _mm256_srli_epi16(
                _mm256_add_epi16(_mm256_add_epi16(load(blur + x - 1), load(blur + x + 1)),
                                 _mm256_add_epi16(_mm256_add_epi16(c, c), eight)),
                kTemporalBinomialBits);
            s = _mm256_add_epi16(
                s, _mm256_min_epi16(_mm256_max_epi16(_mm256_sub_epi16(mean, s), negLim), lim));
        }
        const __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(r, _mm256_sub_epi16(full, w)),
                                             _mm256_mullo_epi16(s, w));
        narrow(out + x, _mm256_srli_epi16(_mm256_add_epi16(sum, half), kTemporalWeightBits));
    }
    if (x < width)
        temporalBlendC(reference + x, source + x, blur ? blur + x : nullptr, limit, weight + x,
                       out + x, width - x);
}

void maxHalveAVX2(const uint8_t* a, const uint8_t* b, uint8_t* out, int width) {
    const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i v0 = _mm256_max_epu8(load(a + 2 * x), load(b + 2 * x));
        const __m256i v1 = _mm256_max_epu8(load(a + 2 * x + 32), load(b + 2 * x + 32));
        const __m256i p0 =
            _mm256_and_si256(_mm256_max_epu8(v0, _mm256_srli_epi16(v0, 8)), lowBytes);
        const __m256i p1 =
            _mm256_and_si256(_mm256_max_epu8(v1, _mm256_srli_epi16(v1, 8)), lowBytes);
        // The pack works per 128-bit lane; put the quarters back in order.
        store(out + x, _mm256_permute4x64_epi64(_mm256_packus_epi16(p0, p1), 0xD8));
    }
    if (x < width) maxHalveC(a + 2 * x, b + 2 * x, out + x, width - x);
}

}  // namespace

const TemporalRows kTemporalRowsAVX2 = {columnSumsAVX2, weightsAVX2, blendAVX2, maxHalveAVX2};

}  // namespace video
}  // namespace kelvo

#endif  // KELVO_CPU_X86
