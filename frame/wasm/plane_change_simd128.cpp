#include <wasm_simd128.h>

#include "frame/wasm/plane_change_wasm.h"

namespace kelvo {
namespace video {

void addRowChange_SIMD128(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n) {
    int i = 0;
    // Rising and falling parts apart, each saturating: one of them is 0, so
    // the sum clamps exactly as the portable row does.
    for (; i + 16 <= n; i += 16) {
        const v128_t a = wasm_v128_load(now + i), b = wasm_v128_load(was + i);
        const v128_t up = wasm_u8x16_sub_sat(a, b), down = wasm_u8x16_sub_sat(b, a);
        wasm_v128_store(dst + i, wasm_u8x16_sub_sat(wasm_u8x16_add_sat(wasm_v128_load(dst + i), up), down));
    }
    addRowChange_C(dst + i, now + i, was + i, n - i);
}

}  // namespace video
}  // namespace kelvo
