#include "gpu/gl_check.h"

#include <epoxy/gl.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace kelvo {
namespace video {

const char* glErrorName(unsigned int code) {
    switch (code) {
        case GL_INVALID_ENUM:
            return "GL_INVALID_ENUM";
        case GL_INVALID_VALUE:
            return "GL_INVALID_VALUE";
        case GL_INVALID_OPERATION:
            return "GL_INVALID_OPERATION";
        case GL_OUT_OF_MEMORY:
            return "GL_OUT_OF_MEMORY";
        case GL_INVALID_FRAMEBUFFER_OPERATION:
            return "GL_INVALID_FRAMEBUFFER_OPERATION";
        default:
            return "";
    }
}

namespace {
thread_local unsigned failures = 0;
std::atomic<GLAllocationFailureHook> failureHook{nullptr};

// The number of errors drained; GL_OUT_OF_MEMORY is counted as a failure.
unsigned drainErrors(const char* label, unsigned int (*nextError)()) {
    unsigned drained = 0;
    for (unsigned int error = nextError(); error != GL_NO_ERROR; error = nextError()) {
        glDiagnosticPrint("%s: glError:%s\n", label, glErrorName(error));
        if (error == GL_OUT_OF_MEMORY) ++failures;
        ++drained;
    }
    return drained;
}

unsigned int nextGLError() { return glGetError(); }
}  // namespace

int reportGLErrors(const char* label, unsigned int (*nextError)()) {
    drainErrors(label, nextError);
    return 0;
}

int checkGLError(const char* label) { return reportGLErrors(label, nextGLError); }

unsigned glFailureCount() { return failures; }

bool checkGLAllocation(const char* label) {
    const unsigned before = failures;
    const unsigned drained = drainErrors(label, nextGLError);
    // Out of memory was counted already.
    if (drained > 0 && failures == before) ++failures;
    return drained == 0;
}

void noteGLFailure(const char* label, const char* what) {
    ++failures;
    glDiagnosticPrint("%s: %s\n", label, what);
}

void setGLAllocationFailureHook(GLAllocationFailureHook hook) { failureHook.store(hook); }

bool glAllocationFailureInjected(const char* site) {
    const GLAllocationFailureHook hook = failureHook.load();
    if (!hook || !hook(site)) return false;
    noteGLFailure(site, "glError:GL_OUT_OF_MEMORY (injected)");
    return true;
}

namespace {
thread_local GLDiagnosticSink currentSink = nullptr;
thread_local void* currentSinkUser = nullptr;
}  // namespace

ScopedGLDiagnosticSink::ScopedGLDiagnosticSink(GLDiagnosticSink sink, void* user)
    : previousSink(currentSink), previousUser(currentSinkUser) {
    currentSink = sink;
    currentSinkUser = user;
}

ScopedGLDiagnosticSink::~ScopedGLDiagnosticSink() {
    currentSink = previousSink;
    currentSinkUser = previousUser;
}

void glDiagnosticPrint(const char* fmt, ...) {
    va_list args;
    if (!currentSink) {
        // Standard output may carry the caller's data (video on a pipe).
        va_start(args, fmt);
        std::vfprintf(stderr, fmt, args);
        va_end(args);
        return;
    }
    // Diagnostics are rare; shader logs can be long.
    va_start(args, fmt);
    const int length = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    if (length <= 0) return;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    va_start(args, fmt);
    std::vsnprintf(&text[0], text.size(), fmt, args);
    va_end(args);
    text.resize(static_cast<size_t>(length));
    if (!text.empty() && text.back() == '\n') text.pop_back();
    currentSink(currentSinkUser, text.c_str());
}

}  // namespace video
}  // namespace kelvo
