#include "gpu/gl_check.h"

#include <epoxy/gl.h>

#include <cstdarg>
#include <cstdio>

namespace kelvo {
namespace video {

const char* glErrorName(unsigned int code) {
    switch (code) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default: return "";
    }
}

int reportGLErrors(const char* label, unsigned int (*nextError)()) {
    for (unsigned int error = nextError(); error != GL_NO_ERROR; error = nextError()) {
        glDiagnosticPrint("%s: glError:%s\n", label, glErrorName(error));
    }
    return 0;
}

namespace {
unsigned int nextGLError() {
    return glGetError();
}
}  // namespace

int checkGLError(const char* label) {
    return reportGLErrors(label, nextGLError);
}

void glDiagnosticPrint(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stdout, fmt, args);
    va_end(args);
}

}  // namespace video
}  // namespace kelvo
