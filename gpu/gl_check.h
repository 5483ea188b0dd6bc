// GL error reporting shared by all GL code.
#pragma once

namespace kelvo {
namespace video {

// Drains the GL error queue of the current context, printing (see
// glDiagnosticPrint) one line
// "<label>: glError:<name>\n" per pending error, in the order glGetError
// returns them. Codes without a name (e.g. GL_STACK_OVERFLOW) print an empty
// name. Always returns 0; GL_OUT_OF_MEMORY is also counted as a failure (see
// glFailureCount), which a render pass acts upon.
// Needs a current GL context; thread-safe as far as the context is.
int checkGLError(const char* label);

// checkGLError with the errors taken from `nextError` instead of glGetError,
// until it returns 0. Lets the drain loop be exercised with a known sequence:
// Mesa records only one pending error per context.
int reportGLErrors(const char* label, unsigned int (*nextError)());

// GL failures that leave a frame without its pictures: GL_OUT_OF_MEMORY
// raised by any step, and any error of a step that creates or fills a texture
// or framebuffer (checkGLAllocation, noteGLFailure). Counted per thread, never
// reset: a render pass compares the count before and after.
unsigned glFailureCount();

// checkGLError for a step that creates or fills a texture or framebuffer:
// every pending error also counts as a failure. True when there was none.
bool checkGLAllocation(const char* label);

// Counts a failure that raised no GL error (an incomplete framebuffer) and
// prints "<label>: <what>".
void noteGLFailure(const char* label, const char* what);

// Test hook standing in for a driver that runs out of memory: while set, the
// library's texture and framebuffer allocation sites ask it before
// allocating, and a true answer fails that allocation as GL_OUT_OF_MEMORY
// would. Process-wide; null removes it.
using GLAllocationFailureHook = bool (*)(const char* site);
void setGLAllocationFailureHook(GLAllocationFailureHook hook);
// Asks the hook (false without one); a failure is counted and printed.
bool glAllocationFailureInjected(const char* site);

// The name checkGLError prints for an error code; "" for codes it does not
// name. Never null.
const char* glErrorName(unsigned int code);

// printf-style diagnostic print, with no prefix, timestamp or level: to the
// calling thread's sink (see below) without the final newline when one is
// installed, else to C stdio stderr. Used by checkGLError and the shader
// compiler.
void glDiagnosticPrint(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Receives each diagnostic line instead of stderr; `user` is the pointer
// given with it. Called on the thread that printed, synchronously.
using GLDiagnosticSink = void (*)(void* user, const char* line);

// Installs a sink for the calling thread for the guard's lifetime and puts the
// previous one back afterwards, so that engine calls can hand GL diagnostics
// to their observer without gpu/ knowing engines. A null sink sends to stderr
// only.
class ScopedGLDiagnosticSink {
public:
    ScopedGLDiagnosticSink(GLDiagnosticSink sink, void* user);
    ~ScopedGLDiagnosticSink();
    ScopedGLDiagnosticSink(const ScopedGLDiagnosticSink&) = delete;
    ScopedGLDiagnosticSink& operator=(const ScopedGLDiagnosticSink&) = delete;

private:
    GLDiagnosticSink previousSink;
    void* previousUser;
};

}  // namespace video
}  // namespace kelvo
