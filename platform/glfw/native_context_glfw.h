// GL context on an invisible GLFW window.
#pragma once

#include "platform/native_context.h"

struct GLFWwindow;

namespace kelvo {
namespace video {

// Requests GL 3.0, forward compatible, any profile, on a hidden 1x1 window
// titled "hidden window". GLFW errors are swallowed by a silent callback
// unless the caller runs GLFW itself. Owns the window; the destructor
// destroys it but leaves GLFW initialised, since the caller may use GLFW too.
// Whatever GLFW window, GLX context or EGL context the thread had current
// before init or makeCurrent is current again after init and releaseCurrent.
class NativeContext_GLFW : public NativeContext {
public:
    NativeContext_GLFW() = default;
    ~NativeContext_GLFW() override;
    NativeContext_GLFW(const NativeContext_GLFW&) = delete;
    NativeContext_GLFW& operator=(const NativeContext_GLFW&) = delete;

    // -1 when GLFW cannot start, the window cannot be created, or GL is
    // below 3.0 (window destroyed, GLFW terminated if it was ours); 0 on
    // success.
    int init() override;
    // No-op when the window's context is already current on this thread;
    // otherwise remembers the thread's binding for releaseCurrent.
    void makeCurrent() override;
    // When the window's context is current on the thread, puts back what
    // makeCurrent found there (or unbinds); any other context is left alone.
    void releaseCurrent() override;

private:
    GLFWwindow* window = nullptr;  // null until init succeeds
    bool ownsGlfw = false;         // glfwInit was ours, not the caller's
};

}  // namespace video
}  // namespace kelvo
