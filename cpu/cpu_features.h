// Which row set the CPU kernels use, decided once per process.
#pragma once

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KELVO_CPU_X86 1
#else
#define KELVO_CPU_X86 0
#endif

namespace kelvo {
namespace video {

enum class RowPath { kPortable, kSSE2, kAVX2 };

// Whether this build and processor can run the path; kPortable always.
bool rowPathSupported(RowPath path);
// The fastest supported path, checked once (thread-safe).
RowPath bestRowPath();

// The row of `path`, or the portable one where this CPU lacks the path.
template <class Fn>
Fn pickRow(RowPath path, Fn portable, Fn sse2, Fn avx2) {
    if (path == RowPath::kAVX2 && rowPathSupported(path)) return avx2;
    if (path == RowPath::kSSE2 && rowPathSupported(path)) return sse2;
    return portable;
}

}  // namespace video
}  // namespace kelvo

// Name_C, Name_SSE2 or Name_AVX2 for `path`; only the portable row exists
// off x86.
#if KELVO_CPU_X86
#define KELVO_ROW_FOR(path, Name) \
    ::kelvo::video::pickRow(path, Name##_C, Name##_SSE2, Name##_AVX2)
#else
#define KELVO_ROW_FOR(path, Name) ((void)(path), Name##_C)
#endif
