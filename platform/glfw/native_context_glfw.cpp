#include "platform/glfw/native_context_glfw.h"

#include <epoxy/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace kelvo {
namespace video {

namespace {
void ignoreGlfwError(int, const char*) {}
}  // namespace

int NativeContext_GLFW::init() {
    if (!glfwInit()) {
        return -1;
    }
    glfwSetErrorCallback(ignoreGlfwError);

    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_ANY_PROFILE);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_CONTEXT_CREATION_API, GLFW_NATIVE_CONTEXT_API);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);

    window = glfwCreateWindow(1, 1, "hidden window", nullptr, nullptr);
    if (!window) {
        glfwTerminate();
        return -1;
    }
    glfwMakeContextCurrent(window);

    // epoxy resolves entry points lazily; the version query is what can fail.
    if (epoxy_gl_version() < 30) {
        glfwDestroyWindow(window);
        window = nullptr;
        glfwTerminate();
        return -1;
    }
    return 0;
}

void NativeContext_GLFW::makeCurrent() {
    if (glfwGetCurrentContext()) {
        return;
    }
    glfwMakeContextCurrent(window);
}

void NativeContext_GLFW::releaseCurrent() {
    glfwMakeContextCurrent(nullptr);
}

NativeContext_GLFW::~NativeContext_GLFW() {
    // A failed init has already terminated GLFW.
    if (!window) {
        return;
    }
    glfwDestroyWindow(window);
    window = nullptr;
    glfwMakeContextCurrent(nullptr);
    glfwTerminate();
}

}  // namespace video
}  // namespace kelvo
