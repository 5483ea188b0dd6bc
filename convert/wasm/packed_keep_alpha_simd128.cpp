#include <wasm_simd128.h>

#include "convert/wasm/color_space_rows_wasm.h"

namespace kelvo {
namespace video {

void PackedKeepAlphaRow_SIMD128(uint8_t* dst, const uint32_t* colour, int width,
                                uint32_t alphaMask) {
    const v128_t keep = wasm_i32x4_splat(static_cast<int32_t>(alphaMask));
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        uint8_t* d = dst + 4 * x;
        wasm_v128_store(d, wasm_v128_bitselect(wasm_v128_load(d), wasm_v128_load(colour + x), keep));
    }
    PackedKeepAlphaRow_C(dst + 4 * x, colour + x, width - x, alphaMask);
}

}  // namespace video
}  // namespace kelvo
