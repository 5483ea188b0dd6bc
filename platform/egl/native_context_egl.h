// Windowless GL context through EGL.
#pragma once

#include "platform/native_context.h"
#include "platform/egl/egl_display.h"

namespace kelvo {
namespace video {

// Desktop OpenGL 3.3 core with no surface at all (EGL_KHR_surfaceless_context)
// on a display from `source` (by default a GPU device, Mesa's surfaceless
// platform, a software device or the default display). Works with no X
// server. Owns the context; the destructor unbinds and destroys it.
// The display is never terminated: other users in the process share it.
// Whatever EGL context and surfaces the thread had current before init or
// makeCurrent are current again after init and releaseCurrent.
class NativeContext_EGL : public NativeContext {
public:
    explicit NativeContext_EGL(EGLDisplaySource source = EGLDisplaySource::kAny)
        : source_(source) {}
    ~NativeContext_EGL() override;
    NativeContext_EGL(const NativeContext_EGL&) = delete;
    NativeContext_EGL& operator=(const NativeContext_EGL&) = delete;

    // -1 when no display, config or context can be had, or GL is below 3.0
    // (everything created is destroyed); 0 on success.
    int init() override;
    // No-op when this context is already current on the thread; otherwise
    // remembers the thread's binding for releaseCurrent.
    void makeCurrent() override;
    // When this context is current on the thread, puts back what makeCurrent
    // found there (or unbinds); any other context is left alone.
    void releaseCurrent() override;

private:
    int create();
    void destroy();

    EGLDisplaySource source_;
    // EGLDisplay / EGLContext, kept opaque so no EGL header leaks out.
    void* display = nullptr;
    void* context = nullptr;
};

}  // namespace video
}  // namespace kelvo
