#include <emmintrin.h>

#include "convert/x86/color_space_rows_x86.h"

namespace kelvo {
namespace video {

void PackedKeepAlphaRow_SSE2(uint8_t* dst, const uint32_t* colour, int width, uint32_t alphaMask) {
    const __m128i keep = _mm_set1_epi32(static_cast<int>(alphaMask));
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        auto* d = reinterpret_cast<__m128i*>(dst + 4 * x);
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(colour + x));
        _mm_storeu_si128(
            d, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(d), keep), _mm_andnot_si128(keep, c)));
    }
    PackedKeepAlphaRow_C(dst + 4 * x, colour + x, width - x, alphaMask);
}

}  // namespace video
}  // namespace kelvo
