// The SSE2 block blends against the portable ones on all 65536 pairs of
// reference and source samples, at unaligned addresses with odd strides.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "denoise/denoiser_blend.h"

namespace kelvo {
namespace video {
namespace {

#if KELVO_DENOISER_BLEND_SSE2

// A 256 x 256 plane per operand, reference = row, source = column, so that
// its 256 blocks hold every pair once; then each block through both forms.
struct AllPairs {
    static constexpr int kStride = 256 + 7;  // odd, and rows start unaligned
    static constexpr int kOffset = 3;
    AllPairs()
        : reference(size_t(kStride) * 256 + kOffset), source(reference.size()),
          portable(reference.size(), 0xCC), fast(reference.size(), 0xCC) {
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                reference[kOffset + size_t(y) * kStride + x] = static_cast<uint8_t>(y);
                source[kOffset + size_t(y) * kStride + x] = static_cast<uint8_t>(x);
            }
    }
    template <typename Portable, typename Fast>
    void run(Portable p, Fast f) {
        for (int by = 0; by < 256; by += 16)
            for (int bx = 0; bx < 256; bx += 16) {
                const size_t o = kOffset + size_t(by) * kStride + bx;
                p(reference.data() + o, source.data() + o, portable.data() + o);
                f(reference.data() + o, source.data() + o, fast.data() + o);
            }
    }
    std::vector<uint8_t> reference, source, portable, fast;
};

TEST(FastDenoiserBlend, MovingBlendEqualsPortableForEveryPair) {
    if (!__builtin_cpu_supports("sse2")) GTEST_SKIP() << "no SSE2";
    AllPairs pairs;
    const int st = AllPairs::kStride;
    pairs.run([&](const uint8_t* r, const uint8_t* s,
                  uint8_t* o) { blendMovingBlock16x16(r, st, s, st, o, st); },
              [&](const uint8_t* r, const uint8_t* s, uint8_t* o) {
                  blendMovingBlock16x16SSE2(r, st, s, st, o, st);
              });
    EXPECT_EQ(pairs.portable, pairs.fast);
}

TEST(FastDenoiserBlend, StaticBlendEqualsPortableForEveryPairAndWeight) {
    if (!__builtin_cpu_supports("sse2")) GTEST_SKIP() << "no SSE2";
    // The two weights in use, the ends, and some whose products round.
    for (float w : {0.7f, 0.5f, 0.0f, 1.0f, 0.3f, 0.123f, 0.9999f, 0.25f, 1.5f, -0.5f}) {
        SCOPED_TRACE(w);
        AllPairs pairs;
        const int st = AllPairs::kStride;
        pairs.run([&](const uint8_t* r, const uint8_t* s,
                      uint8_t* o) { blendStaticBlock16x16(r, st, s, st, o, st, w); },
                  [&](const uint8_t* r, const uint8_t* s, uint8_t* o) {
                      blendStaticBlock16x16SSE2(r, st, s, st, o, st, w);
                  });
        EXPECT_EQ(pairs.portable, pairs.fast);
    }
}

#else

TEST(FastDenoiserBlend, NotBuiltOnThisArchitecture) {
    GTEST_SKIP() << "no SSE2 blends here";
}

#endif

}  // namespace
}  // namespace video
}  // namespace kelvo
