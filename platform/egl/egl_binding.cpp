#include "platform/egl/egl_binding.h"

#include <epoxy/egl.h>

namespace kelvo {
namespace video {

EGLBinding currentEGLBinding() {
    EGLBinding binding;
    // The GLFW backend runs on machines where EGL may be missing; epoxy would
    // abort on the first EGL call there.
    if (!epoxy_has_egl()) return binding;
    EGLContext context = eglGetCurrentContext();
    if (context == EGL_NO_CONTEXT) return binding;
    binding.display = eglGetCurrentDisplay();
    binding.draw = eglGetCurrentSurface(EGL_DRAW);
    binding.read = eglGetCurrentSurface(EGL_READ);
    binding.context = context;
    return binding;
}

bool restoreEGLBinding(const EGLBinding& binding, void* unbindFrom) {
    if (binding.context) {
        if (eglMakeCurrent(
                static_cast<EGLDisplay>(binding.display), static_cast<EGLSurface>(binding.draw),
                static_cast<EGLSurface>(binding.read), static_cast<EGLContext>(binding.context)))
            return true;
    }
    if (unbindFrom)
        eglMakeCurrent(static_cast<EGLDisplay>(unbindFrom), EGL_NO_SURFACE, EGL_NO_SURFACE,
                       EGL_NO_CONTEXT);
    return binding.context == nullptr;
}

void unbindEGL(const EGLBinding& binding) {
    if (binding.context)
        eglMakeCurrent(static_cast<EGLDisplay>(binding.display), EGL_NO_SURFACE, EGL_NO_SURFACE,
                       EGL_NO_CONTEXT);
}

}  // namespace video
}  // namespace kelvo
