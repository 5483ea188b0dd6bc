#include "platform/glfw/native_context_glfw.h"

#include <epoxy/gl.h>
#include <epoxy/glx.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

// From glfw3native.h, which pulls in XRandR headers that are not installed
// everywhere GLFW is.
extern "C" Display* glfwGetX11Display(void);

#include "platform/egl/egl_binding.h"

namespace kelvo {
namespace video {

namespace {

void ignoreGlfwError(int, const char*) {}

// Everything that can be current on a thread of an X11 process: a GLFW
// window, a GLX context made current without GLFW, an EGL context.
struct Binding {
    GLFWwindow* window = nullptr;
    Display* glxDisplay = nullptr;
    GLXDrawable glxDraw = 0;
    GLXDrawable glxRead = 0;
    GLXContext glxContext = nullptr;
    EGLBinding egl;
};

// What was current on this thread before the library's window was made
// current there; put back by releaseCurrent.
thread_local Binding previousBinding;

// Whether GLX can be asked what is current. Settled once in init: asking the
// X server costs a round trip, far more than a whole make-current.
bool glxAvailable = false;

Binding currentBinding() {
    Binding binding;
    binding.window = glfwGetCurrentContext();
    if (!binding.window && glxAvailable) {
        binding.glxContext = glXGetCurrentContext();
        if (binding.glxContext) {
            binding.glxDisplay = glXGetCurrentDisplay();
            binding.glxDraw = glXGetCurrentDrawable();
            binding.glxRead = glXGetCurrentReadDrawable();
        }
    }
    binding.egl = currentEGLBinding();
    return binding;
}

void restoreBinding(const Binding& binding) {
    glfwMakeContextCurrent(binding.window);
    if (binding.glxContext)
        glXMakeContextCurrent(binding.glxDisplay, binding.glxDraw, binding.glxRead,
                              binding.glxContext);
    restoreEGLBinding(binding.egl, nullptr);
}

// GLX refuses (with a fatal X error) to make a context current on a thread
// that has an EGL context current, so the caller's EGL context steps aside
// while the window's context is bound.
void bindWindow(GLFWwindow* window, const Binding& caller) {
    unbindEGL(caller.egl);
    glfwMakeContextCurrent(window);
}

}  // namespace

int NativeContext_GLFW::init() {
    // Whether GLFW runs already (the caller's): then it is not ours to set
    // up or terminate. glfwGetError may be called before glfwInit.
    glfwGetError(nullptr);
    glfwGetCurrentContext();
    ownsGlfw = glfwGetError(nullptr) == GLFW_NOT_INITIALIZED;
    if (!glfwInit()) {
        return -1;
    }
    if (ownsGlfw) glfwSetErrorCallback(ignoreGlfwError);
    Display* x11 = glfwGetX11Display();
    glxAvailable = x11 && epoxy_has_glx(x11);

    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_ANY_PROFILE);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_CONTEXT_CREATION_API, GLFW_NATIVE_CONTEXT_API);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);

    // Window creation makes the new context current for a moment.
    const Binding caller = currentBinding();
    unbindEGL(caller.egl);
    window = glfwCreateWindow(1, 1, "hidden window", nullptr, nullptr);
    if (!window) {
        restoreBinding(caller);
        if (ownsGlfw) glfwTerminate();
        return -1;
    }
    glfwMakeContextCurrent(window);
    // epoxy resolves entry points lazily; the version query is what can fail.
    const bool usable = epoxy_gl_version() >= 30;
    restoreBinding(caller);
    if (!usable) {
        glfwDestroyWindow(window);
        window = nullptr;
        if (ownsGlfw) glfwTerminate();
        return -1;
    }
    return 0;
}

void NativeContext_GLFW::makeCurrent() {
    if (!window || glfwGetCurrentContext() == window) {
        return;
    }
    const Binding caller = currentBinding();
    bindWindow(window, caller);
    previousBinding = caller;
}

void NativeContext_GLFW::releaseCurrent() {
    // Another context current here is the caller's own: never unbind it.
    if (!window || glfwGetCurrentContext() != window) return;
    restoreBinding(previousBinding);
    previousBinding = Binding();
}

NativeContext_GLFW::~NativeContext_GLFW() {
    if (!window) {
        return;
    }
    releaseCurrent();
    glfwDestroyWindow(window);
    window = nullptr;
    // GLFW stays initialised: glfwTerminate would destroy every window of the
    // process, and a caller may have called glfwInit (a no-op then) after us
    // and opened windows of its own. GLFW cleans up at exit.
}

}  // namespace video
}  // namespace kelvo
