#include "platform/egl/egl_display.h"

#include <epoxy/egl.h>

#include <cstring>

namespace kelvo {
namespace video {

namespace {

EGLDisplay initialised(EGLDisplay display) {
    return display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr) ? display
                                                                                 : EGL_NO_DISPLAY;
}

bool clientHas(const char* extension) { return epoxy_has_egl_extension(EGL_NO_DISPLAY, extension); }

bool isSoftwareDevice(EGLDeviceEXT device) {
    const char* extensions = eglQueryDeviceStringEXT(device, EGL_EXTENSIONS);
    return extensions && std::strstr(extensions, "EGL_MESA_device_software");
}

// The first device of the wanted kind that gives an initialised display.
EGLDisplay openDevice(bool software) {
    if (!clientHas("EGL_EXT_device_enumeration") || !clientHas("EGL_EXT_platform_device")) {
        return EGL_NO_DISPLAY;
    }
    constexpr EGLint kMaxDevices = 16;
    EGLDeviceEXT devices[kMaxDevices];
    EGLint count = 0;
    if (!eglQueryDevicesEXT(kMaxDevices, devices, &count)) return EGL_NO_DISPLAY;
    for (EGLint i = 0; i < count; ++i) {
        if (isSoftwareDevice(devices[i]) != software) continue;
        EGLDisplay display =
            initialised(eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr));
        if (display != EGL_NO_DISPLAY) return display;
    }
    return EGL_NO_DISPLAY;
}

EGLDisplay openSurfaceless() {
    if (!clientHas("EGL_MESA_platform_surfaceless") || !clientHas("EGL_EXT_platform_base")) {
        return EGL_NO_DISPLAY;
    }
    return initialised(
        eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr));
}

}  // namespace

void* openEGLDisplay(EGLDisplaySource source) {
    EGLDisplay display = EGL_NO_DISPLAY;
    switch (source) {
        case EGLDisplaySource::kAny:
            display = openDevice(false);
            if (display == EGL_NO_DISPLAY) display = openSurfaceless();
            if (display == EGL_NO_DISPLAY) display = openDevice(true);
            if (display == EGL_NO_DISPLAY)
                display = initialised(eglGetDisplay(EGL_DEFAULT_DISPLAY));
            break;
        case EGLDisplaySource::kDevice:
            display = openDevice(false);
            if (display == EGL_NO_DISPLAY) display = openDevice(true);
            break;
        case EGLDisplaySource::kSurfaceless:
            display = openSurfaceless();
            break;
        case EGLDisplaySource::kDefault:
            display = initialised(eglGetDisplay(EGL_DEFAULT_DISPLAY));
            break;
    }
    return display;
}

}  // namespace video
}  // namespace kelvo
