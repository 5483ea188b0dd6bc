#include "platform/egl/native_context_egl.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include "platform/egl/egl_binding.h"
#include "platform/egl/egl_display.h"

namespace kelvo {
namespace video {

namespace {

// What was bound on this thread before the private context was made current
// there; put back by releaseCurrent.
thread_local EGLBinding previousBinding;

}  // namespace

int NativeContext_EGL::init() {
    const EGLBinding caller = currentEGLBinding();
    const int result = create();
    restoreEGLBinding(caller, display);
    return result;
}

int NativeContext_EGL::create() {
    EGLDisplay dpy = static_cast<EGLDisplay>(openEGLDisplay(source_));
    if (dpy == EGL_NO_DISPLAY) {
        return -1;
    }
    display = dpy;

    if (!epoxy_has_egl_extension(dpy, "EGL_KHR_surfaceless_context") ||
        !eglBindAPI(EGL_OPENGL_API)) {
        destroy();
        return -1;
    }

    // Rendering goes to framebuffer objects only, so any GL-capable config
    // does; surface type 0 matches every config.
    const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0,
                                    EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    if (!eglChooseConfig(dpy, configAttribs, &config, 1, &configCount) || configCount < 1) {
        destroy();
        return -1;
    }

    const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                                     3,
                                     EGL_CONTEXT_MINOR_VERSION,
                                     3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
    EGLContext ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, contextAttribs);
    if (ctx == EGL_NO_CONTEXT) {
        destroy();
        return -1;
    }
    context = ctx;

    if (!eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx) || epoxy_gl_version() < 30) {
        destroy();
        return -1;
    }
    return 0;
}

void NativeContext_EGL::makeCurrent() {
    if (!context || eglGetCurrentContext() == static_cast<EGLContext>(context)) {
        return;
    }
    const EGLBinding caller = currentEGLBinding();
    if (eglMakeCurrent(static_cast<EGLDisplay>(display), EGL_NO_SURFACE, EGL_NO_SURFACE,
                       static_cast<EGLContext>(context)))
        previousBinding = caller;
}

void NativeContext_EGL::releaseCurrent() {
    // Another context current here is the caller's own: never unbind it.
    if (!context || eglGetCurrentContext() != static_cast<EGLContext>(context)) return;
    restoreEGLBinding(previousBinding, display);
    previousBinding = EGLBinding();
}

void NativeContext_EGL::destroy() {
    EGLDisplay dpy = static_cast<EGLDisplay>(display);
    if (context) {
        releaseCurrent();
        eglDestroyContext(dpy, static_cast<EGLContext>(context));
        context = nullptr;
    }
    // The display stays initialised for the life of the process: EGL hands
    // every user of the same platform and native display the same handle,
    // and Mesa lacks EGL_KHR_display_reference, so eglTerminate here would
    // destroy the contexts and surfaces of a caller on the same display.
    // Mesa terminates its displays at exit.
    display = nullptr;
}

NativeContext_EGL::~NativeContext_EGL() { destroy(); }

}  // namespace video
}  // namespace kelvo
