// The 16-bit and byte lane operations of a vector set against ScalarOps16,
// lane by lane, on random lanes and the ends of each range (the rows'
// checkasm covers the rest). Plain C only, no library templates: the AVX2
// instance is compiled for AVX2 and must share no inline function with the
// rest of the program.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cpu/vec16.h"
#include "effects/beauty/cpu/beauty_mix_reciprocal.h"

namespace kelvo {
namespace video {
namespace {

struct Lanes16Check {
    int failures = 0;
    char first[160] = {};
    void expect(bool ok, const char* op, int lane, int got, int want) {
        if (ok || failures++) return;
        std::snprintf(first, sizeof first, "%s lane %d: %d, portable %d", op, lane, got, want);
    }
};

template <class O>
void checkLanes16(Lanes16Check& check) {
    using S = ScalarOps16;
    constexpr int N = O::N;
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 16; };
    const int16_t ends[] = {-32768, -32767, -256, -1, 0, 1, 255, 256, 32767};
    // The beauty mix's reciprocal of every divisor, which the portable mix
    // reads from its table.
    for (int a = 0; a < 256; a += N) {
        alignas(32) uint16_t d[N], out[N];
        for (int k = 0; k < N; ++k) d[k] = static_cast<uint16_t>(2 * ((a + k) & 255) + kMixEdgeLow);
        O::store16(out, mixReciprocal<O>(O::load16(d)));
        for (int k = 0; k < N; ++k) {
            const int want = static_cast<uint16_t>(kMixReciprocals.of[(a + k) & 255]);
            check.expect(out[k] == want, "mixReciprocal", k, out[k], want);
        }
    }
    for (int trial = 0; trial < 300; ++trial) {
        alignas(32) uint16_t a[N], b[N], out[N];
        alignas(32) uint8_t x[2 * N], y[2 * N], bytes[2 * N];
        for (int k = 0; k < N; ++k) {
            a[k] = static_cast<uint16_t>(trial < 9 ? ends[(trial + k) % 9] : next());
            b[k] = static_cast<uint16_t>(trial < 9 ? ends[(trial * 4 + k) % 9] : next());
        }
        for (int k = 0; k < 2 * N; ++k) {
            x[k] = static_cast<uint8_t>(trial < 9 ? (trial + k) % 3 * 127 : next());
            y[k] = static_cast<uint8_t>(trial < 9 ? (trial + k) % 2 * 255 : next());
        }
        const typename O::V va = O::load16(a), vb = O::load16(b);
        // Operands as signed or unsigned 16 bits; results compared as 16 bits.
        auto lanes = [&](const char* op, typename O::V got, auto want, bool isSigned) {
            O::store16(out, got);
            for (int k = 0; k < N; ++k) {
                const int p = isSigned ? static_cast<int16_t>(a[k]) : a[k];
                const int q = isSigned ? static_cast<int16_t>(b[k]) : b[k];
                const int w = want(p, q) & 0xFFFF;
                check.expect(out[k] == w, op, k, out[k], w);
            }
        };
        lanes("adds", O::adds(va, vb), S::adds, true);
        lanes("subs", O::subs(va, vb), S::subs, true);
        lanes("addsU", O::addsU(va, vb), S::addsU, false);
        lanes("subsU", O::subsU(va, vb), S::subsU, false);
        lanes("absDiffU", O::absDiffU(va, vb), S::absDiffU, false);
        lanes("mulhiU", O::mulhiU(va, vb), S::mulhiU, false);
        lanes("mulhi", O::mulhi(va, vb), S::mulhi, true);
        lanes("mulloWrap", O::mulloWrap(va, vb), S::mulloWrap, true);
        lanes("cmpgt", O::cmpgt(va, vb), S::cmpgt, true);
        lanes("srai", O::template srai<3>(va), [](int p, int) { return S::srai<3>(p); }, true);
        typename O::V lo, hi;
        O::widenU16(va, lo, hi);
        lanes("widenU16, narrowS32", O::narrowS32(lo, hi),
              [](int p, int) { return p > 32767 ? 32767 : p; }, false);
        O::mulAdd32(va, 3, vb, -2, lo, hi);
        lanes("mulAdd32, narrowS32", O::narrowS32(lo, hi), [](int p, int q) {
            S::V l, h;
            S::mulAdd32(p, 3, q, -2, l, h);
            return S::narrowS32(l, h);
        }, true);

        // Byte lanes, in the scalar set's pairs.
        const typename O::B bx = O::loadU8(x), by = O::loadU8(y);
        auto byteLanes = [&](const char* op, typename O::B got, auto want) {
            O::storeU8(bytes, got);
            for (int k = 0; k < 2 * N; k += 2) {
                const S::B w = want(S::loadU8(x + k), S::loadU8(y + k));
                for (int h = 0; h < 2; ++h)
                    check.expect(bytes[k + h] == w.b[h], op, k + h, bytes[k + h], w.b[h]);
            }
        };
        byteLanes("addsU8", O::addsU8(bx, by), S::addsU8);
        byteLanes("subsU8", O::subsU8(bx, by), S::subsU8);
        byteLanes("sub8", O::sub8(bx, by), S::sub8);
        byteLanes("absDiffU8", O::absDiffU8(bx, by), S::absDiffU8);
        byteLanes("maxU8", O::maxU8(bx, by), S::maxU8);
        byteLanes("avgFloorU8", O::avgFloorU8(bx, by), S::avgFloorU8);
        byteLanes("avgU8", O::avgU8(bx, by), S::avgU8);
        byteLanes("eq8", O::eq8(bx, by), S::eq8);
        byteLanes("leU8", O::leU8(bx, by), S::leU8);
        // Signed bytes widened, then 16-bit lanes past 0..255 saturated back.
        O::widenS8(bx, lo, hi);
        O::storeU8(bytes, O::narrowU8(O::add(lo, va), O::add(hi, vb)));
        for (int k = 0; k < 2 * N; ++k) {
            const int lane = k < N ? static_cast<int16_t>(a[k]) : static_cast<int16_t>(b[k - N]);
            const int sum = static_cast<int16_t>(static_cast<int8_t>(x[k]) + lane);
            const S::B w = S::narrowU8(sum, 0);
            check.expect(bytes[k] == w.b[0], "widenS8, narrowU8", k, bytes[k], w.b[0]);
        }
        // Pairs summed in the set's own order and saturated back in memory order.
        O::widenPairU8(bx, by, lo, hi);
        O::storeU8(bytes, O::narrowSplitU8(lo, hi));
        for (int k = 0; k < 2 * N; ++k) {
            const int sum = x[k] + y[k] > 255 ? 255 : x[k] + y[k];
            check.expect(bytes[k] == sum, "widenPairU8, narrowSplitU8", k, bytes[k], sum);
        }
        O::widenSplitU8(bx, lo, hi);
        O::storeU8(bytes, O::narrowSplitU8(lo, hi));
        for (int k = 0; k < 2 * N; ++k)
            check.expect(bytes[k] == x[k], "widenSplitU8, narrowSplitU8", k, bytes[k], x[k]);
        // Each lane the sum of those before it in its group of four.
        O::store16(out, O::pixelPrefix(va));
        for (int k = 0; k < N; ++k) {
            int want = 0;
            for (int j = k & ~3; j < k; ++j) want += a[j];
            check.expect(out[k] == (want & 0xFFFF), "pixelPrefix", k, out[k], want & 0xFFFF);
        }
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
