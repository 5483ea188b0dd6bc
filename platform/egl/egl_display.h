// Finding an EGL display to make a windowless desktop GL context on.
#pragma once

namespace kelvo {
namespace video {

// Where a display may come from.
enum class EGLDisplaySource {
    // The best of the others: a hardware device first (headless GPU servers
    // expose their GPUs only as devices), then Mesa's surfaceless platform,
    // then a software device, then the default display.
    kAny,
    // EGL_EXT_device_enumeration + EGL_EXT_platform_device, any device,
    // hardware devices before software ones.
    kDevice,
    // EGL_MESA_platform_surfaceless.
    kSurfaceless,
    // eglGetDisplay(EGL_DEFAULT_DISPLAY).
    kDefault,
};

// An initialised EGLDisplay (opaque, so no EGL header leaks out) from
// `source`, or null when it offers none. Initialising a display that is
// already initialised is a no-op, so a caller's display is left as it was.
void* openEGLDisplay(EGLDisplaySource source);

}  // namespace video
}  // namespace kelvo
