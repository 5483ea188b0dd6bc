// Platform GL context interface.
#pragma once

namespace kelvo {
namespace video {

// One GL context of the platform, created by init() and owned by the object.
// The library reaches it only through GPUImageContext; implementations live
// in platform/<backend>/. Not thread-safe: the context is bound to one thread
// at a time.
class NativeContext {
public:
    virtual ~NativeContext() = default;

    // Creates the context and loads GL (version 3.0 or later required).
    // 0 on success; -1 on failure, with everything created so far destroyed
    // again. Either way the thread's current context is as before the call.
    virtual int init() = 0;

    // Binds the context to the calling thread (no-op when already current),
    // remembering which context and surfaces of the caller were current.
    virtual void makeCurrent() = 0;

    // When this context is current on the thread, makes the caller's context
    // and surfaces that makeCurrent found current again (or none). A context
    // of the caller that is current is never unbound.
    virtual void releaseCurrent() = 0;
};

}  // namespace video
}  // namespace kelvo
