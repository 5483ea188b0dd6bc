// GL error reporting shared by all GL code.
#pragma once

namespace kelvo {
namespace video {

// Drains the GL error queue of the current context, printing (see
// glDiagnosticPrint) one line
// "<label>: glError:<name>\n" per pending error, in the order glGetError
// returns them. Codes without a name (e.g. GL_STACK_OVERFLOW) print an empty
// name. Always returns 0: GL errors are reported, never acted upon.
// Needs a current GL context; thread-safe as far as the context is.
int checkGLError(const char* label);

// checkGLError with the errors taken from `nextError` instead of glGetError,
// until it returns 0. Lets the drain loop be exercised with a known sequence:
// Mesa records only one pending error per context.
int reportGLErrors(const char* label, unsigned int (*nextError)());

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
