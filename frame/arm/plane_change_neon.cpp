#include <arm_neon.h>

#include "frame/arm/plane_change_arm.h"

namespace kelvo {
namespace video {

void addRowChange_NEON(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n) {
    int i = 0;
    // Rising and falling parts apart, each saturating: one of them is 0, so
    // the sum clamps exactly as the portable row does.
    for (; i + 16 <= n; i += 16) {
        const uint8x16_t a = vld1q_u8(now + i), b = vld1q_u8(was + i);
        const uint8x16_t d = vld1q_u8(dst + i);
        vst1q_u8(dst + i, vqsubq_u8(vqaddq_u8(d, vqsubq_u8(a, b)), vqsubq_u8(b, a)));
    }
    addRowChange_C(dst + i, now + i, was + i, n - i);
}

}  // namespace video
}  // namespace kelvo
