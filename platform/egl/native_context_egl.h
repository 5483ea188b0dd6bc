// Windowless GL context through EGL.
#pragma once

#include "gpu/native_context.h"

namespace kelvo {
namespace video {

// Desktop OpenGL 3.3 core with no surface at all (EGL_KHR_surfaceless_context)
// on Mesa's surfaceless platform, falling back to the default display. Works
// with no X server. Owns display connection and context; the destructor
// unbinds, destroys the context and terminates the display.
class NativeContext_EGL : public NativeContext {
public:
    NativeContext_EGL() = default;
    ~NativeContext_EGL() override;
    NativeContext_EGL(const NativeContext_EGL&) = delete;
    NativeContext_EGL& operator=(const NativeContext_EGL&) = delete;

    // -1 when no display, config or context can be had, or GL is below 3.0
    // (everything created is destroyed); 0 with the context current.
    int init() override;
    // No-op when this context is already current on the thread.
    void makeCurrent() override;
    // Unbinds any EGL context from this thread.
    void releaseCurrent() override;

private:
    void destroy();

    // EGLDisplay / EGLContext, kept opaque so no EGL header leaks out.
    void* display = nullptr;
    void* context = nullptr;
};

}  // namespace video
}  // namespace kelvo
