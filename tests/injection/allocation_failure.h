// Allocation failure on demand, as SQLite tests out-of-memory: while armed,
// the N-th allocation made by the library's own code fails (operator new
// throws std::bad_alloc, malloc returns null), and the library's texture and
// framebuffer allocation sites fail as GL_OUT_OF_MEMORY would. Allocations
// of other libraries (the driver, libyuv, libpng) are left alone: they are
// not ours to make robust.
#pragma once

namespace kelvo {
namespace video {
namespace injection {

enum class Kind { kMemory, kGL };

// Arms injection: the n-th counted allocation of `kind` from now on fails
// (n >= 1). Counting covers this thread and the library's worker threads.
void arm(Kind kind, long n);
// Disarms; true when the armed failure happened.
bool disarm();
// Whether malloc is counted as well as operator new (not under the
// sanitizers, whose own malloc must not be replaced).
bool countsMalloc();

}  // namespace injection
}  // namespace video
}  // namespace kelvo
