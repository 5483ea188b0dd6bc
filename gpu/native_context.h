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
    // 0 on success, with the context current on the calling thread; -1 on
    // failure, with everything created so far destroyed again.
    virtual int init() = 0;

    // Binds the context to the calling thread (no-op when already current).
    virtual void makeCurrent() = 0;

    // Unbinds whatever context is current on the calling thread.
    virtual void releaseCurrent() = 0;
};

}  // namespace video
}  // namespace kelvo
