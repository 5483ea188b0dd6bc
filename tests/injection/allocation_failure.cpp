#include "injection/allocation_failure.h"

#include <link.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "gpu/gl_check.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KELVO_SANITIZED 1
#endif

namespace kelvo {
namespace video {
namespace injection {
namespace {

std::atomic<bool> armedMemory{false};
std::atomic<bool> armedGL{false};
std::atomic<long> remaining{0};
std::atomic<bool> fired{false};

// The library's modules are linked into this program: its own code is the
// program's executable segment. What other shared objects allocate is theirs.
uintptr_t textBegin = 0;
uintptr_t textEnd = 0;

int findText(dl_phdr_info* info, size_t, void*) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X)) {
            textBegin = info->dlpi_addr + segment.p_vaddr;
            textEnd = textBegin + segment.p_memsz;
        }
    }
    return 1;  // the first object is the program itself
}

bool countDown() {
    if (remaining.fetch_sub(1, std::memory_order_relaxed) != 1) return false;
    fired.store(true);
    return true;
}

bool failMemory(void* caller) {
    if (!armedMemory.load(std::memory_order_relaxed)) return false;
    const auto at = reinterpret_cast<uintptr_t>(caller);
    return at >= textBegin && at < textEnd && countDown();
}

bool failGL(const char*) { return armedGL.load(std::memory_order_relaxed) && countDown(); }

}  // namespace

void arm(Kind kind, long n) {
    if (textEnd == 0) dl_iterate_phdr(findText, nullptr);
    setGLAllocationFailureHook(failGL);
    fired.store(false);
    remaining.store(n);
    (kind == Kind::kMemory ? armedMemory : armedGL).store(true);
}

bool disarm() {
    armedMemory.store(false);
    armedGL.store(false);
    return fired.load();
}

bool countsMalloc() {
#ifdef KELVO_SANITIZED
    return false;
#else
    return true;
#endif
}

}  // namespace injection
}  // namespace video
}  // namespace kelvo

using kelvo::video::injection::failMemory;

#ifndef KELVO_SANITIZED
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

// glibc's allocator underneath; free() needs no replacement.
void* malloc(size_t size) {
    return failMemory(__builtin_return_address(0)) ? nullptr : __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    return failMemory(__builtin_return_address(0)) ? nullptr : __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
    return failMemory(__builtin_return_address(0)) ? nullptr : __libc_realloc(block, size);
}
}
#define KELVO_RAW_MALLOC __libc_malloc
#define KELVO_RAW_MEMALIGN __libc_memalign
#else
#define KELVO_RAW_MALLOC std::malloc
#define KELVO_RAW_MEMALIGN(alignment, size) \
    std::aligned_alloc(alignment, ((size) + (alignment)-1) / (alignment) * (alignment))
#endif

namespace {

void* allocate(size_t size, void* caller) {
    if (failMemory(caller)) return nullptr;
    return KELVO_RAW_MALLOC(size ? size : 1);
}

void* allocateAligned(size_t size, std::align_val_t alignment, void* caller) {
    if (failMemory(caller)) return nullptr;
    return KELVO_RAW_MEMALIGN(static_cast<size_t>(alignment), size ? size : 1);
}

}  // namespace

void* operator new(size_t size) {
    if (void* p = allocate(size, __builtin_return_address(0))) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    if (void* p = allocate(size, __builtin_return_address(0))) return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, __builtin_return_address(0));
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, __builtin_return_address(0));
}
void* operator new(size_t size, std::align_val_t alignment) {
    if (void* p = allocateAligned(size, alignment, __builtin_return_address(0))) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size, std::align_val_t alignment) {
    if (void* p = allocateAligned(size, alignment, __builtin_return_address(0))) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { std::free(p); }
