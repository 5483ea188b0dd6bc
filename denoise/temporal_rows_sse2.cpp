// SSE2 rows of the strong denoiser, bit-exact with the portable ones; the
// samples left over after the last full vector go through the portable rows.
#include "denoise/temporal_rows.h"

#if KELVO_CPU_X86

#include <emmintrin.h>

namespace kelvo {
namespace video {

namespace {

inline __m128i load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

inline __m128i absDiff(__m128i a, __m128i b) {
    return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
}

void columnSumsSSE2(const uint8_t* s0, const uint8_t* r0, const uint8_t* s1, const uint8_t* r1,
                    const uint8_t* s2, const uint8_t* r2, uint16_t* sum, uint16_t* blur, int width,
                    int accumulate) {
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i a0 = load(s0 + x), a1 = load(s1 + x), a2 = load(s2 + x);
        const __m128i d0 = absDiff(a0, load(r0 + x));
        const __m128i d1 = absDiff(a1, load(r1 + x));
        const __m128i d2 = absDiff(a2, load(r2 + x));
        __m128i lo =
            _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(d0, zero), _mm_unpacklo_epi8(d1, zero)),
                          _mm_unpacklo_epi8(d2, zero));
        __m128i hi =
            _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(d0, zero), _mm_unpackhi_epi8(d1, zero)),
                          _mm_unpackhi_epi8(d2, zero));
        if (accumulate) {
            lo = _mm_add_epi16(lo, load(sum + x));
            hi = _mm_add_epi16(hi, load(sum + x + 8));
        }
        store(sum + x, lo);
        store(sum + x + 8, hi);
        if (blur) {
            const __m128i m1 = _mm_unpacklo_epi8(a1, zero), n1 = _mm_unpackhi_epi8(a1, zero);
            store(blur + x, _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a0, zero),
                                                        _mm_unpacklo_epi8(a2, zero)),
                                          _mm_add_epi16(m1, m1)));
            store(blur + x + 8, _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a0, zero),
                                                            _mm_unpackhi_epi8(a2, zero)),
                                              _mm_add_epi16(n1, n1)));
        }
    }
    if (x < width)
        columnSumsC(s0 + x, r0 + x, s1 + x, r1 + x, s2 + x, r2 + x, sum + x,
                    blur ? blur + x : nullptr, width - x, accumulate);
}

// Weights of 8 pixels from the sums around them, as 16-bit lanes.
inline __m128i weights8(const uint16_t* sum, __m128i low, __m128i span, __m128i slope,
                        __m128i minWeight, __m128i highMinusOne, __m128i full) {
    const __m128i l2 = load(sum - 2), l1 = load(sum - 1), c = load(sum), r1 = load(sum + 1),
                  r2 = load(sum + 2);
    const __m128i centre = _mm_add_epi16(l1, _mm_add_epi16(c, r1));
    const __m128i m = _mm_max_epi16(_mm_max_epi16(_mm_add_epi16(l2, _mm_add_epi16(l1, c)), centre),
                                    _mm_add_epi16(c, _mm_add_epi16(r1, r2)));
    const __m128i excess =
        _mm_min_epi16(_mm_max_epi16(_mm_sub_epi16(m, low), _mm_setzero_si128()), span);
    const __m128i ramp = _mm_add_epi16(
        minWeight, _mm_srli_epi16(_mm_mullo_epi16(excess, slope), kTemporalSlopeBits));
    const __m128i above = _mm_cmpgt_epi16(m, highMinusOne);
    return _mm_or_si128(_mm_and_si128(above, full), _mm_andnot_si128(above, ramp));
}

void weightsSSE2(const uint16_t* sum, const uint8_t* floor, uint8_t* weight, int width,
                 const TemporalRamp& ramp) {
    const __m128i low = _mm_set1_epi16(ramp.low), span = _mm_set1_epi16(ramp.span),
                  slope = _mm_set1_epi16(ramp.slope), minWeight = _mm_set1_epi16(ramp.minWeight),
                  highMinusOne = _mm_set1_epi16(static_cast<int16_t>(ramp.low + ramp.span - 1)),
                  full = _mm_set1_epi16(kTemporalWeightOne);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i w = _mm_packus_epi16(
            weights8(sum + x, low, span, slope, minWeight, highMinusOne, full),
            weights8(sum + x + 8, low, span, slope, minWeight, highMinusOne, full));
        if (floor) w = _mm_max_epu8(w, load(floor + x));
        store(weight + x, w);
    }
    if (x < width)
        temporalWeightsC(sum + x, floor ? floor + x : nullptr, weight + x, width - x, ramp);
}

// Blend of 8 pixels, 16-bit lanes.
inline __m128i blend8(__m128i r, __m128i s, __m128i w, __m128i full, __m128i half) {
    const __m128i sum =
        _mm_add_epi16(_mm_mullo_epi16(r, _mm_sub_epi16(full, w)), _mm_mullo_epi16(s, w));
    return _mm_srli_epi16(_mm_add_epi16(sum, half), kTemporalWeightBits);
}

// The source of 8 pixels moved toward their binomial mean by at most limit.
inline __m128i smooth8(__m128i s, const uint16_t* blur, __m128i limit, __m128i eight) {
    const __m128i c = load(blur);
    const __m128i mean = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(load(blur - 1), load(blur + 1)),
                                                      _mm_add_epi16(_mm_add_epi16(c, c), eight)),
                                        kTemporalBinomialBits);
    const __m128i step = _mm_min_epi16(
        _mm_max_epi16(_mm_sub_epi16(mean, s), _mm_sub_epi16(_mm_setzero_si128(), limit)), limit);
    return _mm_add_epi16(s, step);
}

void blendSSE2(const uint8_t* reference, const uint8_t* source, const uint16_t* blur, int limit,
               const uint8_t* weight, uint8_t* out, int width) {
    const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(kTemporalWeightOne),
                  half = _mm_set1_epi16(kTemporalWeightOne / 2),
                  eight = _mm_set1_epi16((1 << kTemporalBinomialBits) / 2),
                  lim = _mm_set1_epi16(static_cast<int16_t>(limit));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i r = load(reference + x), s = load(source + x), w = load(weight + x);
        __m128i slo = _mm_unpacklo_epi8(s, zero), shi = _mm_unpackhi_epi8(s, zero);
        if (blur) {
            slo = smooth8(slo, blur + x, lim, eight);
            shi = smooth8(shi, blur + x + 8, lim, eight);
        }
        store(out + x,
              _mm_packus_epi16(
                  blend8(_mm_unpacklo_epi8(r, zero), slo, _mm_unpacklo_epi8(w, zero), full, half),
                  blend8(_mm_unpackhi_epi8(r, zero), shi, _mm_unpackhi_epi8(w, zero), full, half)));
    }
    if (x < width)
        temporalBlendC(reference + x, source + x, blur ? blur + x : nullptr, limit, weight + x,
                       out + x, width - x);
}

void maxHalveSSE2(const uint8_t* a, const uint8_t* b, uint8_t* out, int width) {
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i v0 = _mm_max_epu8(load(a + 2 * x), load(b + 2 * x));
        const __m128i v1 = _mm_max_epu8(load(a + 2 * x + 16), load(b + 2 * x + 16));
        const __m128i p0 = _mm_and_si128(_mm_max_epu8(v0, _mm_srli_epi16(v0, 8)), lowBytes);
        const __m128i p1 = _mm_and_si128(_mm_max_epu8(v1, _mm_srli_epi16(v1, 8)), lowBytes);
        store(out + x, _mm_packus_epi16(p0, p1));
    }
    if (x < width) maxHalveC(a + 2 * x, b + 2 * x, out + x, width - x);
}

}  // namespace

const TemporalRows kTemporalRowsSSE2 = {columnSumsSSE2, weightsSSE2, blendSSE2, maxHalveSSE2};

}  // namespace video
}  // namespace kelvo

#endif  // KELVO_CPU_X86
