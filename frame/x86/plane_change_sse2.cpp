#include <emmintrin.h>

#include "frame/x86/plane_change_x86.h"

namespace kelvo {
namespace video {

void addRowChange_SSE2(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n) {
    int i = 0;
    // Rising and falling parts apart, each saturating: one of them is 0, so
    // the sum clamps exactly as the portable row does.
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(now + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(was + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        const __m128i up = _mm_subs_epu8(a, b);
        const __m128i down = _mm_subs_epu8(b, a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_subs_epu8(_mm_adds_epu8(d, up), down));
    }
    addRowChange_C(dst + i, now + i, was + i, n - i);
}

}  // namespace video
}  // namespace kelvo
