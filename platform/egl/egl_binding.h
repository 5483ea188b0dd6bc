// What EGL has bound on the calling thread, so that the library can put a
// caller's context back after using its own.
#pragma once

namespace kelvo {
namespace video {

// EGLDisplay, draw and read EGLSurface, EGLContext of one thread, kept opaque
// so that no EGL header leaks out. All null when nothing is bound.
struct EGLBinding {
    void* display = nullptr;
    void* draw = nullptr;
    void* read = nullptr;
    void* context = nullptr;
};

// The calling thread's current EGL binding; empty when EGL cannot be loaded
// or nothing is current.
EGLBinding currentEGLBinding();

// Makes `binding` current again. When it is empty, or EGL refuses it (the
// caller destroyed its context or terminated its display meanwhile), the
// context current on `unbindFrom` (when given) is unbound instead, and the
// result is false for a refused binding.
bool restoreEGLBinding(const EGLBinding& binding, void* unbindFrom);

// Unbinds `binding`'s context from the calling thread, if it has one.
void unbindEGL(const EGLBinding& binding);

}  // namespace video
}  // namespace kelvo
