// GL context on an invisible GLFW window.
#pragma once

#include "gpu/native_context.h"

struct GLFWwindow;

namespace kelvo {
namespace video {

// Requests GL 3.0, forward compatible, any profile, on a hidden 1x1 window
// titled "hidden window". GLFW errors are swallowed by a silent callback.
// Owns the window; the destructor destroys it and terminates GLFW.
class NativeContext_GLFW : public NativeContext {
public:
    NativeContext_GLFW() = default;
    ~NativeContext_GLFW() override;
    NativeContext_GLFW(const NativeContext_GLFW&) = delete;
    NativeContext_GLFW& operator=(const NativeContext_GLFW&) = delete;

    // -1 when GLFW cannot start, the window cannot be created, or GL is
    // below 3.0 (window destroyed, GLFW terminated); 0 with the context current.
    int init() override;
    // No-op when any GLFW context is current on this thread.
    void makeCurrent() override;
    void releaseCurrent() override;

private:
    GLFWwindow* window = nullptr;  // null until init succeeds
};

}  // namespace video
}  // namespace kelvo
