// A build without OpenGL: no context, no GL render engine.
#include "engine/gl_backend.h"

#include "render/render_engine.h"

namespace kelvo {
namespace video {
namespace gl_backend {

bool built() { return false; }
bool privateContextUsable() { return false; }
void dropUnusedPrivateContext() {}
void addPrivateContextUser() {}
void removePrivateContextUser() {}
std::string renderer(bool) { return ""; }
std::string version() { return ""; }
std::unique_ptr<RenderEngine> createRenderEngine() { return nullptr; }
bool isTexture(int) { return false; }
unsigned failureCount() { return 0; }
void reportPendingErrors(const char*) {}
std::shared_ptr<FramebufferCache> createCallerPool() { return nullptr; }

struct CallScope::State {};
CallScope::CallScope(bool, IVideoProcessObserver*, bool, FramebufferCache*) {}
CallScope::~CallScope() = default;

}  // namespace gl_backend
}  // namespace video
}  // namespace kelvo
