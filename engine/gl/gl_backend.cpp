#include "engine/gl_backend.h"

#include <epoxy/gl.h>

#include <optional>

#include "engine/effect_factories.h"
#include "gpu/framebuffer_cache.h"
#include "gpu/gl_check.h"
#include "gpu/gl_state_guard.h"
#include "gpu/gpu_image_context.h"
#include "kelvo/video_process_engine.h"
#include "render/gl/native_render_engine.h"

namespace kelvo {
namespace video {
namespace gl_backend {

namespace {

void forwardGLDiagnostic(void* observer, const char* line) {
    static_cast<IVideoProcessObserver*>(observer)->onLog(kLogError, line);
}

std::string glString(GLenum name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

}  // namespace

bool built() { return true; }

bool privateContextUsable() {
    return GPUImageContext::instance() != nullptr && !GPUImageContext::initFailed();
}

void dropUnusedPrivateContext() { GPUImageContext::destroyIfUnused(); }
void addPrivateContextUser() { GPUImageContext::addUser(); }
void removePrivateContextUser() { GPUImageContext::removeUser(); }

std::string renderer(bool makePrivateCurrent) {
    if (!makePrivateCurrent) return glString(GL_RENDERER);
    GPUImageContext::ScopedCurrent current;
    return glString(GL_RENDERER);
}

std::string version() { return glString(GL_VERSION); }

std::unique_ptr<RenderEngine> createRenderEngine() {
    return std::make_unique<NativeRenderEngine>(createGLEffect);
}

bool isTexture(int name) { return name > 0 && glIsTexture(static_cast<GLuint>(name)); }

unsigned failureCount() { return glFailureCount(); }
void reportPendingErrors(const char* label) { checkGLError(label); }
std::shared_ptr<FramebufferCache> createCallerPool() { return FramebufferCache::create(); }

struct CallScope::State {
    std::optional<ScopedGLDiagnosticSink> sink;
    std::optional<FramebufferCache::Scope> pool;
    std::optional<GPUImageContext::ScopedCurrent> current;
    std::optional<GLStateGuard> guard;
};

CallScope::CallScope(bool external, IVideoProcessObserver* observer, bool cpu,
                     FramebufferCache* pool) {
    if (cpu) return;
    state_ = std::make_unique<State>();
    state_->sink.emplace(observer ? forwardGLDiagnostic : nullptr, observer);
    if (external) {
        state_->guard.emplace();
        state_->pool.emplace(pool);
    } else {
        state_->current.emplace();
    }
}

// Members go in reverse order: the state goes back and the context is
// released before the sink, so their diagnostics still reach the observer.
CallScope::~CallScope() = default;

}  // namespace gl_backend
}  // namespace video
}  // namespace kelvo
