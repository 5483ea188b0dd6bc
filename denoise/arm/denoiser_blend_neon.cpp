// NEON forms of the two block blends, from the lane-set kernels.
#include "denoise/arm/denoise_rows_arm.h"
#include "cpu/vec16_neon.h"
#include "cpu/vec_neon.h"
#include "denoise/denoiser_blend_kernel.h"

namespace kelvo {
namespace video {
namespace {

// NEONOps with its 32-bit lanes held in the 16-bit set's vector type, which
// the kernel passes between the two sets (one type, __m128i, on x86).
struct NEONOpsIn16 : NEONOps {
    using I = int16x8_t;
    static I cvtt(F a) { return from(NEONOps::cvtt(a)); }
    static F cvtf(I a) { return NEONOps::cvtf(to(a)); }
    static I addi(I a, I b) { return from(NEONOps::addi(to(a), to(b))); }
    template <int S>
    static I slli(I a) {
        return from(NEONOps::slli<S>(to(a)));
    }
    template <int S>
    static I srli(I a) {
        return from(NEONOps::srli<S>(to(a)));
    }

private:
    static int32x4_t to(I a) { return vreinterpretq_s32_s16(a); }
    static I from(int32x4_t a) { return vreinterpretq_s16_s32(a); }
};

}  // namespace

void blendMovingBlock16x16NEON(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride) {
    blendMovingRows<NEONOps16>(reference, referenceStride, source, sourceStride, out, outStride);
}

void blendStaticBlock16x16NEON(const uint8_t* reference, int referenceStride, const uint8_t* source,
                               int sourceStride, uint8_t* out, int outStride, float staticWeight) {
    blendStaticRows<NEONOps16, NEONOpsIn16>(reference, referenceStride, source, sourceStride, out,
                                            outStride, staticWeight);
}

}  // namespace video
}  // namespace kelvo
