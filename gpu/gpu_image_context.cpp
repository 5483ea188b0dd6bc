#include "gpu/gpu_image_context.h"

#include <mutex>

#include "gpu/framebuffer_cache.h"
#include "platform/native_context.h"
#include "platform/gl_driver.h"
#include "platform/egl/native_context_egl.h"
#if KELVO_WITH_GLFW
#include "platform/glfw/native_context_glfw.h"
#endif

namespace kelvo {
namespace video {

namespace {
std::mutex holderMutex;
GPUImageContext* holder = nullptr;
bool failCreation = false;  // guarded by holderMutex
int users = 0;
// Held while any thread has the private context current; always taken
// before holderMutex.
std::mutex workMutex;
}  // namespace

GPUImageContext::ScopedCurrent::ScopedCurrent() : lock_(workMutex) { makeCurrent(); }

GPUImageContext::ScopedCurrent::~ScopedCurrent() { releaseCurrent(); }

void GPUImageContext::addUser() {
    std::lock_guard<std::mutex> lock(holderMutex);
    ++users;
}

bool GPUImageContext::removeUser() {
    std::lock_guard<std::mutex> work(workMutex);
    {
        std::lock_guard<std::mutex> lock(holderMutex);
        if (users > 0) --users;
        if (users > 0) return false;
    }
    destroyInstance();
    return true;
}

bool GPUImageContext::destroyIfUnused() {
    std::lock_guard<std::mutex> work(workMutex);
    {
        std::lock_guard<std::mutex> lock(holderMutex);
        if (users > 0) return false;
    }
    destroyInstance();
    return true;
}

int GPUImageContext::userCount() {
    std::lock_guard<std::mutex> lock(holderMutex);
    return users;
}

GPUImageContext::~GPUImageContext() = default;

void GPUImageContext::init() {
    if (failCreation) {
        failed = true;
        return;
    }
#if KELVO_WITH_GLFW
    nativeContext.reset(new NativeContext_GLFW());
    if (nativeContext->init() == 0) {
        backend = "glfw";
        keepGLDriverLoaded();
        return;
    }
#endif
    // No display (or GLFW cannot start): a windowless context works anywhere.
    nativeContext.reset(new NativeContext_EGL());
    if (nativeContext->init() == 0) {
        backend = "egl";
        keepGLDriverLoaded();
        return;
    }
    failed = true;
    backend = "none";
}

GPUImageContext* GPUImageContext::lockedInstance() {
    if (!holder) {
        holder = new GPUImageContext();
        holder->init();
    }
    return holder;
}

void GPUImageContext::failCreationForTesting(bool fail) {
    std::lock_guard<std::mutex> lock(holderMutex);
    failCreation = fail;
}

GPUImageContext* GPUImageContext::instance() {
    std::lock_guard<std::mutex> lock(holderMutex);
    return lockedInstance();
}

bool GPUImageContext::initFailed() {
    std::lock_guard<std::mutex> lock(holderMutex);
    return lockedInstance()->failed;
}

void GPUImageContext::makeCurrent() {
    std::lock_guard<std::mutex> lock(holderMutex);
    GPUImageContext* self = lockedInstance();
    if (!self->failed) {
        self->nativeContext->makeCurrent();
    }
}

void GPUImageContext::releaseCurrent() {
    std::lock_guard<std::mutex> lock(holderMutex);
    GPUImageContext* self = lockedInstance();
    if (!self->failed) {
        self->nativeContext->releaseCurrent();
    }
}

void GPUImageContext::destroyInstance() {
    std::lock_guard<std::mutex> lock(holderMutex);
    if (holder) {
        // Idle framebuffers left in the pool die with the context; a later
        // context must not delete their names as its own.
        FramebufferCache::privatePool()->abandon();
    }
    delete holder;
    holder = nullptr;
}

const char* GPUImageContext::backendName() {
    std::lock_guard<std::mutex> lock(holderMutex);
    return holder ? holder->backend : "none";
}

}  // namespace video
}  // namespace kelvo
