// The instruction sets the CPU rows may use: the one processor query of the
// library. Every row family fills its table of row functions from these
// flags, once, as <family>RowsFor(flags) (dav1d fills its DSP tables so).
//
// KELVO_CPU_MASK caps the flags for the whole process, as a debugging and
// testing aid (the portable rows give the same bytes, only slower):
//   "c", "0" or "none"   portable rows only
//   "sse2"               up to SSE2
//   "avx2"               up to AVX2
//   "neon"               NEON (64-bit ARM)
//   "simd128"            SIMD128 (WebAssembly)
//   a number             the flag bits below (decimal or 0x hex)
// Anything else also means portable rows only, so a mistyped mask can never
// leave faster rows running than asked for.
#pragma once

#include <cstdint>

// For the x86 row files that still sit in shared folders (they compile to
// nothing elsewhere); rows in an <arch>/ folder need no such guard.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KELVO_CPU_X86 1
#else
#define KELVO_CPU_X86 0
#endif

namespace kelvo {
namespace video {

using CpuFlags = uint32_t;
enum : CpuFlags {
    kCpuFlagSSE2 = 1u << 0,
    kCpuFlagAVX2 = 1u << 1,
    kCpuFlagNEON = 1u << 2,
    kCpuFlagSIMD128 = 1u << 3,
};

// Each level includes those before it on its architecture; rows of a level
// need all its flags.
struct CpuLevel {
    const char* name;
    CpuFlags flags;
};
constexpr CpuLevel kCpuLevels[] = {
    {"C", 0},
    {"SSE2", kCpuFlagSSE2},
    {"AVX2", kCpuFlagSSE2 | kCpuFlagAVX2},
    {"NEON", kCpuFlagNEON},
    {"SIMD128", kCpuFlagSIMD128},
};

// What the processor (and its operating system) runs, unmasked. Defined
// once per architecture, in system/<arch>/cpu_detect.cpp (generic/: none).
CpuFlags detectedCpuFlags();
// detectedCpuFlags() capped by KELVO_CPU_MASK, read once. Thread-safe.
CpuFlags cpuFlags();
// The cap a KELVO_CPU_MASK text gives (see above); null or empty: no cap.
CpuFlags cpuMaskFromText(const char* text);

}  // namespace video
}  // namespace kelvo
