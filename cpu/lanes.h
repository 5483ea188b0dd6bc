// The lane operation sets the CPU row kernels are written in: one family,
// a set per instruction set and lane kind, each a struct of static
// functions that kernels take as a template parameter, so that a kernel is
// written once and compiled per instruction set.
//
// clang-format off
//   kind                  portable      SSE2        AVX2        NEON        defined in
//   32-bit float/int      ScalarOps     SSE2Ops     AVX2Ops     NEONOps     cpu/vec.h, vec_sse2.h,
//                                                                           vec_avx2.h, vec_neon.h
//   16-bit integer        ScalarOps16   SSE2Ops16   AVX2Ops16   NEONOps16   cpu/vec16.h, vec16_sse2.h,
//                                                                           vec16_avx2.h, vec16_neon.h
//   RGBA8 pixels          ScalarPixels  SSE2Pixels  AVX2Pixels  NEONPixels  effects/beauty/cpu/beauty_rows.cpp,
//                                                                           x86/beauty_rows_{sse2,avx2}.cpp,
//                                                                           arm/beauty_rows_neon.cpp
// clang-format on
// WebAssembly SIMD128: WASMOps, WASMOps16 and WASMPixels, in cpu/vec_wasm.h,
// cpu/vec16_wasm.h and effects/beauty/cpu/wasm/beauty_rows_simd128.cpp.
//
// A new instruction set is a new column: with its sets (a header per kind
// as vec_sse2.h, a pixel set beside the beauty rows) every row family
// written over them gets its rows.
// ScalarPixels provides what the beauty mix uses (its portable row is that
// instantiation); the other portable beauty rows are written out.
//
// What a set of each kind provides is stated here in code, as expressions
// that must compile, and every set is checked against it where it is
// defined. Every operation is an IEEE single operation or an exact integer
// one, the same in every set of a kind, so a kernel gives the same bits
// whichever set runs it (no FMA, no approximate reciprocals).
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

namespace kelvo {
namespace video {
namespace lanes {

// The interface is taken as a pack so that its defaulted parameter matches
// under compilers without relaxed template-template matching (clang 14).
template <class, template <class...> class, class = void>
struct Has : std::false_type {};
template <class T, template <class...> class Interface>
struct Has<T, Interface, std::void_t<Interface<T>>> : std::true_type {};

// Values of a set's types for the expressions below (declared, never
// defined: the expressions are not evaluated). Vector types never become
// template arguments (they would lose their attributes): they sit in these
// structs, and each expression list ends in void().
template <class O>
struct Any {
    static typename O::F f;
    static typename O::I i;
    static typename O::M m;
};
template <class O>
struct Any16 {
    static typename O::V v;
    static typename O::V& ref;
    static typename O::B b;
};
template <class V>
struct AnyPixels {
    static typename V::F f;
    static typename V::I i;
    static typename V::I* out;
    static typename V::Weights w;
};
struct Bytes {
    static const uint8_t* in;
    static uint8_t* out;
};

// 32-bit lanes: N lanes of float F, int32 I and mask M (ScalarOps documents
// each operation).
template <class O, class A = Any<O>>
using Ops32 = decltype(
    std::integral_constant<int, O::N>{}, A::f* A::f + A::f - A::f, O::set(0.0f), O::seti(0),
    O::loadf(static_cast<const float*>(nullptr)), O::storef(static_cast<float*>(nullptr), A::f),
    O::loadi(Bytes::in), O::storei(Bytes::out, A::i), O::min(A::f, A::f), O::max(A::f, A::f),
    O::sqrt(A::f), O::lt(A::f, A::f), O::le(A::f, A::f), O::gt(A::f, A::f), O::ne(A::f, A::f),
    O::gti(A::i, A::i), O::select(A::m, A::f, A::f), O::selecti(A::m, A::i, A::i), O::cvtt(A::f),
    O::cvtf(A::i), O::bits(A::f), O::fromBits(A::i), O::addi(A::i, A::i), O::subi(A::i, A::i),
    O::andi(A::i, 0), O::ori(A::i, 0), O::template srai<1>(A::i), O::template slli<1>(A::i),
    O::template srli<1>(A::i), O::gather(static_cast<const float*>(nullptr), A::i),
    O::gatheri(static_cast<const int32_t*>(nullptr), A::i), O::u16Biased(A::i), O::anyi(A::i),
    O::gather64(static_cast<const uint64_t*>(nullptr), A::i, A::i, A::i),
    O::gather64Two(static_cast<const uint64_t*>(nullptr), static_cast<const uint64_t*>(nullptr),
                   A::i, A::i, A::i, A::i, A::i),
    O::loadRGB(Bytes::in, A::f, A::f, A::f), O::storeRGBA(Bytes::out, A::i, A::i, A::i),
    O::storeRGBAClamped(Bytes::out, A::i, A::i, A::i));

// 16-bit lanes: N lanes V and 2N byte lanes B (ScalarOps16 documents each
// operation).
template <class O, class A = Any16<O>>
using Ops16 = decltype(
    std::integral_constant<int, O::N>{}, O::set(int16_t{0}), O::load8(Bytes::in),
    O::load16(static_cast<const uint16_t*>(nullptr)),
    O::store16(static_cast<uint16_t*>(nullptr), A::v), O::add(A::v, A::v), O::sub(A::v, A::v),
    O::mullo(A::v, A::v), O::mulhiU(A::v, A::v), O::max(A::v, A::v), O::min(A::v, A::v),
    O::adds(A::v, A::v), O::subs(A::v, A::v), O::addsU(A::v, A::v), O::subsU(A::v, A::v),
    O::absDiffU(A::v, A::v), O::cmpgt(A::v, A::v), O::select(A::v, A::v, A::v),
    O::template srli<1>(A::v), O::template srai<1>(A::v), O::template slli<1>(A::v),
    O::madd(A::v, A::v), O::widenU16(A::v, A::ref, A::ref), O::narrowS32(A::v, A::v),
    O::add32(A::v, A::v), O::hsum32(A::v), O::hsum16(A::v), O::storeNarrowU8(Bytes::out, A::v),
    O::storeInterleaved8(Bytes::out, A::v, A::v), O::set8(uint8_t{0}), O::loadU8(Bytes::in),
    O::storeU8(Bytes::out, A::b), O::loadU8Halves(Bytes::in, Bytes::in),
    O::storeU8Halves(Bytes::out, Bytes::out, A::b), O::addsU8(A::b, A::b), O::subsU8(A::b, A::b),
    O::sub8(A::b, A::b), O::absDiffU8(A::b, A::b), O::maxU8(A::b, A::b), O::avgFloorU8(A::b, A::b),
    O::eq8(A::b, A::b), O::leU8(A::b, A::b), O::and8(A::b, A::b), O::select8(A::b, A::b, A::b),
    O::widenU8(A::b, A::ref, A::ref), O::widenS8(A::b, A::ref, A::ref),
    O::loadWidenU8(Bytes::in, A::ref, A::ref), O::narrowU8(A::v, A::v), O::pairMaxU8(A::b), void());

// Where N >= 4, the 16-bit operations on packed pixels (cpu/vec16.h).
template <class O, class A = Any16<O>>
using PackedPixels16 =
    decltype(O::repeat4(static_cast<const int16_t*>(nullptr)), O::dot4U8(A::b, A::v),
             O::sum2x2U8(A::b, A::b), O::dot4(A::v, A::v, A::v), O::set32(0),
             O::template srai32<1>(A::v), O::narrowU8x4(A::v, A::v, A::v, A::v), void());

// Where N >= 8, the colour cube's corner pairs at 8-bit colours
// (cpu/vec16.h; the portable cube row is written out).
template <class O>
using CubePairs16 =
    decltype(O::cubePairs(static_cast<const uint64_t*>(nullptr),
                          static_cast<const uint32_t*>(nullptr),
                          static_cast<const uint32_t*>(nullptr)),
             O::repeat32(static_cast<const int32_t*>(nullptr)), void());

// RGBA8 pixel lanes: kLanes pixels, one per 32-bit lane of I, with the
// 32-bit set of the same width as Ops. The operations:
//   load/store         kLanes pixels or int32s, unaligned
//   gather             pixels at int32 indices
//   allZero, noneSet   no lane set (int, float mask)
//   byteLane<K>        byte K of each lane, zero extended
//   bytePair<K>        bytes 2K and 2K + 1 of each lane as 16-bit halves
//   loadCells          the 16-byte cells at byte offsets, each 128-bit part
//                      of r[k] holding cells k, k + 4, ...
//   unpackLo/Hi32/64   interleaving within 128-bit parts
//   set1, set1f, andi, ori, add, sub, maxi, mini, srli/slli/srai<N>
//   add, sub, mul, div, min, max, cmpgt/lt/ge/le, fand, fandnot, select
//                      (floats; select(mask, a, b) takes a where mask is set)
//   toFloat, toIntRound (nearest even), toIntTrunc
//   avgU8              rounded byte averages
//   deinterleave       pixels 2k and 2k + 1 apart; interleave back
//   widen/narrow       bytes to 16-bit lanes and back; add16, srli16<N>
//   blend(a, b, uniformWeights(w)), blendPerPixel(a, b, w): texel blends
//                      with one packed weight for all pixels or one per lane
//   madd               16-bit pairs multiplied and summed into 32-bit lanes
template <class V, class A = AnyPixels<V>>
using PixelLanes = decltype(
    std::integral_constant<int, V::kLanes>{}, std::integral_constant<bool, V::kWindowPicks>{},
    std::integral_constant<bool, V::kRoundingMultiply>{},
    std::enable_if_t<V::Ops::N == V::kLanes>(), V::load(Bytes::in), V::store(Bytes::out, A::i),
    V::gather(Bytes::in, A::i), V::allZero(A::i), V::noneSet(A::f), V::template byteLane<1>(A::i),
    V::template bytePair<0>(A::i), V::loadCells(Bytes::in, A::i, A::out), V::unpackLo32(A::i, A::i),
    V::unpackHi32(A::i, A::i), V::unpackLo64(A::i, A::i), V::unpackHi64(A::i, A::i), V::set1(0),
    V::set1f(0.0f), V::andi(A::i, A::i), V::ori(A::i, A::i), V::add(A::i, A::i), V::sub(A::i, A::i),
    V::maxi(A::i, A::i), V::mini(A::i, A::i), V::template srli<1>(A::i), V::template slli<1>(A::i),
    V::template srai<1>(A::i), V::add(A::f, A::f), V::sub(A::f, A::f), V::mul(A::f, A::f),
    V::div(A::f, A::f), V::min(A::f, A::f), V::max(A::f, A::f), V::cmpgt(A::f, A::f),
    V::cmplt(A::f, A::f), V::cmpge(A::f, A::f), V::cmple(A::f, A::f), V::fand(A::f, A::f),
    V::fandnot(A::f, A::f), V::select(A::f, A::f, A::f), V::toFloat(A::i), V::toIntRound(A::f),
    V::toIntTrunc(A::f), V::avgU8(A::i, A::i), V::deinterleave(A::i, A::i, A::out, A::out),
    V::interleave(A::i, A::i, A::out), V::widen(A::i, A::out), V::narrow(A::i, A::i),
    V::add16(A::i, A::i), V::template srli16<1>(A::i), V::uniformWeights(0u),
    V::blend(A::i, A::i, A::w), V::blendPerPixel(A::i, A::i, A::i), V::madd(A::i, A::i), void());

// Where kWindowPicks: pick, lane k of the 2 kLanes pixels lo, hi at each
// lane's index.
template <class V, class A = AnyPixels<V>>
using WindowPicks = decltype(V::pick(A::i, A::i, A::i), void());

// Where kRoundingMultiply: bits (a float vector's bits), 16-bit sub16,
// mulhrs (rounding high multiply), slli16<N>, blend16<Mask>, maxi16, mini16;
// laneBytes<B0..B3> (chosen bytes of each lane, -1 zero), packPairs (two
// vectors saturated to the 16-bit halves of each lane), permute (a lane of
// the 8 floats at a pointer, whatever kLanes).
template <class V, class A = AnyPixels<V>>
using RoundingMultiply = decltype(V::bits(A::f), V::sub16(A::i, A::i), V::mulhrs(A::i, A::i),
                                  V::template slli16<1>(A::i),
                                  V::template blend16<0x55>(A::i, A::i), V::maxi16(A::i, A::i),
                                  V::mini16(A::i, A::i), V::template laneBytes<0, -1, 0, -1>(A::i),
                                  V::packPairs(A::i, A::i),
                                  V::permute(static_cast<const float*>(nullptr), A::i), void());

// 16-bit lanes on planes of RGBA8 pixels: loadPixels4 (N pixels' bytes to a
// 16-bit vector per channel, the inverse of storePixels4) and mulhi (the high
// half of the signed product).
template <class O, class A = Any16<O>>
using PixelPlanes16 = decltype(O::loadPixels4(Bytes::in, A::ref, A::ref, A::ref, A::ref),
                               O::mulhi(A::v, A::v), void());

}  // namespace lanes

template <class O>
constexpr bool kIsLaneOps = lanes::Has<O, lanes::Ops32>::value;
template <class O>
constexpr bool kIsLaneOps16 = lanes::Has<O, lanes::Ops16>::value;
template <class O>
constexpr bool kIsPackedPixels16 = lanes::Has<O, lanes::PackedPixels16>::value;
template <class O>
constexpr bool kIsCubePairs16 = lanes::Has<O, lanes::CubePairs16>::value;

template <class V>
constexpr bool pixelLanesComplete() {
    if constexpr (!lanes::Has<V, lanes::PixelLanes>::value) {
        return false;
    } else {
        return (!V::kWindowPicks || lanes::Has<V, lanes::WindowPicks>::value) &&
               (!V::kRoundingMultiply || lanes::Has<V, lanes::RoundingMultiply>::value);
    }
}
template <class V>
constexpr bool kIsPixelLanes = pixelLanesComplete<V>();

namespace lanes {
// 16-bit channel operations of every set (ScalarOps16 documents each):
// the signed high product, RGBA pixels split into channels, a table of
// 32-bit entries read per lane, and the low product that wraps.
template <class O, class A = Any16<O>>
using Channels16 =
    decltype(O::mulhi(A::v, A::v), O::loadPixels3(Bytes::in, A::ref, A::ref, A::ref),
             O::lookup32(static_cast<const uint32_t*>(nullptr), A::v, A::ref, A::ref),
             O::mulloWrap(A::v, A::v), void());
}  // namespace lanes
template <class O>
constexpr bool kIsChannels16 = lanes::Has<O, lanes::Channels16>::value;
template <class O>
constexpr bool kIsPixelPlanes16 = lanes::Has<O, lanes::PixelPlanes16>::value;

namespace lanes {
// 16-bit operations of every set for the beauty blurs (ScalarOps16
// documents each): rounded byte averages, each lane's sum of the lanes
// before it within its 4-byte pixel, and bytes widened (one vector or the
// sum of two) and narrowed back in the set's own lane order.
template <class O, class A = Any16<O>>
using PixelSums16 = decltype(O::avgU8(A::b, A::b), O::pixelPrefix(A::v),
                             O::widenSplitU8(A::b, A::ref, A::ref),
                             O::widenPairU8(A::b, A::b, A::ref, A::ref),
                             O::narrowSplitU8(A::v, A::v), void());
}  // namespace lanes
template <class O>
constexpr bool kIsPixelSums16 = lanes::Has<O, lanes::PixelSums16>::value;

namespace lanes {
// Pixel lanes' byte averages rounded down, (a + b) >> 1, beside avgU8.
template <class V, class A = AnyPixels<V>>
using PixelFloorAverages = decltype(V::avgFloorU8(A::i, A::i), void());
}  // namespace lanes
template <class V>
constexpr bool kIsPixelFloorAverages = lanes::Has<V, lanes::PixelFloorAverages>::value;

}  // namespace video
}  // namespace kelvo
