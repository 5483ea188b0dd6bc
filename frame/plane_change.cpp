#include "frame/plane_change.h"

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvo {
namespace video {

void addRowChange_C(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n) {
    for (int i = 0; i < n; ++i) {
        const int v = dst[i] + now[i] - was[i];
        dst[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

void addRowChange(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n) {
    int i = 0;
#if defined(__SSE2__)
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
#endif
    addRowChange_C(dst + i, now + i, was + i, n - i);
}

void addPlaneChange(uint8_t* dst, int dstStride, const uint8_t* now, int nowStride,
                    const uint8_t* was, int wasStride, int width, int rows) {
    if (width < 1) return;
    for (int y = 0; y < rows; ++y) {
        addRowChange(dst + static_cast<ptrdiff_t>(y) * dstStride,
                     now + static_cast<ptrdiff_t>(y) * nowStride,
                     was + static_cast<ptrdiff_t>(y) * wasStride, width);
    }
}

}  // namespace video
}  // namespace kelvo
