// The process-wide private GL context.
#pragma once

#include <memory>
#include <mutex>

namespace kelvo {
namespace video {

class NativeContext;

// Holder of the one private GL context of the process. Created lazily by the
// first instance(), makeCurrent() or releaseCurrent(); destroyed by
// destroyInstance() (any engine's release). Backends: GLFW (an invisible 1x1
// window) is tried first; when GLFW cannot start or create its window (no
// display) a windowless EGL context (Mesa surfaceless) is created instead.
// A holder whose init failed on both stays in place and is never retried until
// destroyInstance().
//
// Creation and destruction of the holder are guarded by one process-wide
// mutex, as are makeCurrent/releaseCurrent, so they never see a half-built or
// deleted holder. The context itself is bound to one thread at a time.
class GPUImageContext {
public:
    // The holder, created and initialised on first call. Never null. Check
    // initFailed() before using GL. The pointer is valid until
    // destroyInstance().
    static GPUImageContext* instance();

    // True when the context could not be created (instance() creates the
    // holder if none exists).
    static bool initFailed();

    // Binds the private context to the calling thread; creates it first if
    // needed. Does nothing when the context failed.
    static void makeCurrent();

    // Unbinds any context from the calling thread; creates the holder first if
    // none exists.
    static void releaseCurrent();

    // Deletes the holder and its context, if any. GL objects of the context
    // are gone afterwards; the next use creates a fresh context.
    static void destroyInstance();

    // "glfw" or "egl" for the active backend, "none" when there is no holder
    // or its init failed. Does not create the holder.
    static const char* backendName();

    // Serialises GL work on the private context across engines and threads:
    // one process-wide lock is held from making the context current until
    // releasing it, because a context can be current on one thread only.
    // Not recursive: never nest two on one thread.
    class ScopedCurrent {
    public:
        ScopedCurrent();
        ~ScopedCurrent();
        ScopedCurrent(const ScopedCurrent&) = delete;
        ScopedCurrent& operator=(const ScopedCurrent&) = delete;

    private:
        std::unique_lock<std::mutex> lock_;
    };

    // Engines register while they are initialised on the private context, so
    // that one engine's release does not pull the context away from the
    // others. removeUser() destroys the holder when the last user leaves
    // (under the GL work lock) and then returns true.
    static void addUser();
    static bool removeUser();
    static int userCount();
    // Destroys the holder when no engine uses it, waiting for GL work under
    // a ScopedCurrent to end first (an engine's init works on the context
    // before it becomes a user). True when it destroyed the holder. Never
    // call it with a ScopedCurrent held on the calling thread.
    static bool destroyIfUnused();

    // For tests: while set, a holder created from now on fails its init as
    // on a machine without any GL. An existing holder is kept.
    static void failCreationForTesting(bool fail);

    ~GPUImageContext();
    GPUImageContext(const GPUImageContext&) = delete;
    GPUImageContext& operator=(const GPUImageContext&) = delete;

private:
    GPUImageContext() = default;
    void init();
    // The holder, created if needed; the caller holds the holder mutex.
    static GPUImageContext* lockedInstance();

    std::unique_ptr<NativeContext> nativeContext;
    bool failed = false;
    const char* backend = "none";
};

}  // namespace video
}  // namespace kelvo
