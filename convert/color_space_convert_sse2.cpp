// SSE2 rows of the packed-RGB converters. Multiply-adds on 16-bit channels
// give the same 32-bit sums as the portable code; the saturating packs are
// its clamps to 0..255.
#include "convert/color_space_rows.h"

#if KELVO_CPU_X86

#include <emmintrin.h>

namespace kelvo {
namespace video {

namespace {

constexpr int kChromaBias = 32896;

inline __m128i pixelWeights(const int16_t* w) {
    return _mm_setr_epi16(w[0], w[1], w[2], w[3], w[0], w[1], w[2], w[3]);
}

// Per-pixel sums of the two multiply-add halves of four pixels.
inline __m128i pairSums(__m128i first, __m128i second) {
    const __m128 a = _mm_castsi128_ps(first);
    const __m128 b = _mm_castsi128_ps(second);
    return _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))),
                         _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
}

// Four luma values as 32-bit lanes from four pixels.
inline __m128i luma4(const uint8_t* src, __m128i weights, __m128i bias) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i sums = pairSums(_mm_madd_epi16(_mm_unpacklo_epi8(v, zero), weights),
                                  _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), weights));
    return _mm_srai_epi32(_mm_add_epi32(sums, bias), 8);
}

// Channel averages (16-bit) of two 2x2 blocks from four pixels of two rows.
inline __m128i blockAverages2(const uint8_t* s0, const uint8_t* s1) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s0));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s1));
    const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    return _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(lo, hi), _mm_unpackhi_epi64(lo, hi)), 2);
}

// Four chroma values (arithmetic shift, as the portable code) from the
// averages of four blocks.
inline __m128i chroma4(__m128i blocks01, __m128i blocks23, __m128i weights, __m128i bias) {
    const __m128i sums =
        pairSums(_mm_madd_epi16(blocks01, weights), _mm_madd_epi16(blocks23, weights));
    return _mm_srai_epi32(_mm_add_epi32(sums, bias), 8);
}

}  // namespace

static int prefixToY(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c) {
    const __m128i weights = pixelWeights(c.y);
    const __m128i bias = _mm_set1_epi32(c.yBias);
    int x = 0;
    for (; x + 16 <= width; x += 16, src += 64) {
        const __m128i lo =
            _mm_packs_epi32(luma4(src, weights, bias), luma4(src + 16, weights, bias));
        const __m128i hi =
            _mm_packs_epi32(luma4(src + 32, weights, bias), luma4(src + 48, weights, bias));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dstY + x), _mm_packus_epi16(lo, hi));
    }
    return x;
}

static int prefixToUV(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                      int width, const PackedRowCoeffs& c) {
    const __m128i uWeights = pixelWeights(c.u);
    const __m128i vWeights = pixelWeights(c.v);
    const __m128i bias = _mm_set1_epi32(kChromaBias);
    int x = 0;
    for (; x + 16 <= width; x += 16, src0 += 64, src1 += 64) {
        const __m128i b01 = blockAverages2(src0, src1);
        const __m128i b23 = blockAverages2(src0 + 16, src1 + 16);
        const __m128i b45 = blockAverages2(src0 + 32, src1 + 32);
        const __m128i b67 = blockAverages2(src0 + 48, src1 + 48);
        const __m128i u =
            _mm_packs_epi32(chroma4(b01, b23, uWeights, bias), chroma4(b45, b67, uWeights, bias));
        const __m128i v =
            _mm_packs_epi32(chroma4(b01, b23, vWeights, bias), chroma4(b45, b67, vWeights, bias));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dstU + x / 2), _mm_packus_epi16(u, u));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dstV + x / 2), _mm_packus_epi16(v, v));
    }
    return x;
}

// Eight pixels at a time: 32-bit multiply-adds of (value, weight) pairs give
// the portable row's sums exactly; the packs are its clamps.
static int prefixFromYuv(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                         int width, const YuvFixedDecode& k, int r, int g, int b) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    const __m128i yOffset = _mm_set1_epi16(k.yOffset);
    const __m128i chromaZero = _mm_set1_epi16(128);
    const __m128i lumaWeights = _mm_setr_epi16(k.y, 2048, k.y, 2048, k.y, 2048, k.y, 2048);
    const __m128i redWeights = _mm_setr_epi16(k.vr, 0, k.vr, 0, k.vr, 0, k.vr, 0);
    const __m128i blueWeights = _mm_setr_epi16(k.ub, 0, k.ub, 0, k.ub, 0, k.ub, 0);
    const int16_t ug = static_cast<int16_t>(-k.ug), vg = static_cast<int16_t>(-k.vg);
    const __m128i greenWeights = _mm_setr_epi16(ug, vg, ug, vg, ug, vg, ug, vg);
    auto channel = [](__m128i lo, __m128i hi) {
        const __m128i words = _mm_packs_epi32(_mm_srai_epi32(lo, 12), _mm_srai_epi32(hi, 12));
        return _mm_packus_epi16(words, words);
    };
    int x = 0;
    for (; x + 8 <= width; x += 8, dst += 32) {
        const __m128i luma = _mm_sub_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y + x)), zero),
            yOffset);
        int32_t u4, v4;
        __builtin_memcpy(&u4, u + x / 2, 4);
        __builtin_memcpy(&v4, v + x / 2, 4);
        // Each chroma sample twice, less 128.
        __m128i cb = _mm_unpacklo_epi8(_mm_cvtsi32_si128(u4), zero);
        __m128i cr = _mm_unpacklo_epi8(_mm_cvtsi32_si128(v4), zero);
        cb = _mm_sub_epi16(_mm_unpacklo_epi16(cb, cb), chromaZero);
        cr = _mm_sub_epi16(_mm_unpacklo_epi16(cr, cr), chromaZero);

        const __m128i lumaLo = _mm_madd_epi16(_mm_unpacklo_epi16(luma, one), lumaWeights);
        const __m128i lumaHi = _mm_madd_epi16(_mm_unpackhi_epi16(luma, one), lumaWeights);
        __m128i c[4];
        c[r] = channel(
            _mm_add_epi32(lumaLo, _mm_madd_epi16(_mm_unpacklo_epi16(cr, zero), redWeights)),
            _mm_add_epi32(lumaHi, _mm_madd_epi16(_mm_unpackhi_epi16(cr, zero), redWeights)));
        c[g] = channel(
            _mm_add_epi32(lumaLo, _mm_madd_epi16(_mm_unpacklo_epi16(cb, cr), greenWeights)),
            _mm_add_epi32(lumaHi, _mm_madd_epi16(_mm_unpackhi_epi16(cb, cr), greenWeights)));
        c[b] = channel(
            _mm_add_epi32(lumaLo, _mm_madd_epi16(_mm_unpacklo_epi16(cb, zero), blueWeights)),
            _mm_add_epi32(lumaHi, _mm_madd_epi16(_mm_unpackhi_epi16(cb, zero), blueWeights)));
        c[6 - r - g - b] = zero;
        const __m128i pairs01 = _mm_unpacklo_epi8(c[0], c[1]);
        const __m128i pairs23 = _mm_unpacklo_epi8(c[2], c[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi16(pairs01, pairs23));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16),
                         _mm_unpackhi_epi16(pairs01, pairs23));
    }
    return x;
}

// The vector-filling prefix here, the rest (odd last column included) by
// the portable row.
void PackedRowToY_SSE2(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c) {
    const int done = prefixToY(src, dstY, width, c);
    PackedRowToY_C(src + 4 * done, dstY + done, width - done, c);
}

void PackedRowPairToUV_SSE2(const uint8_t* src0, const uint8_t* src1, uint8_t* dstU, uint8_t* dstV,
                            int width, const PackedRowCoeffs& c) {
    const int done = prefixToUV(src0, src1, dstU, dstV, width, c);
    PackedRowPairToUV_C(src0 + 4 * done, src1 + 4 * done, dstU + done / 2, dstV + done / 2,
                        width - done, c);
}

void YuvRowToPacked_SSE2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                         int width, const YuvFixedDecode& k, int r, int g, int b) {
    const int done = prefixFromYuv(y, u, v, dst, width, k, r, g, b);
    YuvRowToPacked_C(y + done, u + done / 2, v + done / 2, dst + 4 * done, width - done, k, r, g,
                     b);
}

}  // namespace video
}  // namespace kelvo

#endif  // KELVO_CPU_X86
