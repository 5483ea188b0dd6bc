// What the engine needs of the OpenGL backend, with no GL type in sight: the
// process-wide private context, the GL render engine and the checks that need
// a current context. A build without GL links engine/no_gl/, where there is
// no context and no GL render engine.
#pragma once

#include <memory>
#include <string>

namespace kelvo {
namespace video {

class FramebufferCache;
class IVideoProcessObserver;
class RenderEngine;

namespace gl_backend {

// False in a build without OpenGL.
bool built();

// The private context of the process exists (created on first use) and works.
bool privateContextUsable();
// Drops the private context when no engine uses it, so that a later init
// tries again.
void dropUnusedPrivateContext();
void addPrivateContextUser();
void removePrivateContextUser();

// GL_RENDERER and GL_VERSION; with makePrivateCurrent the private context is
// made current for the query, otherwise the caller's current one is asked.
// Empty when GL gives none.
std::string renderer(bool makePrivateCurrent);
std::string version();

// A GL render engine over the GL effects; null without GL.
std::unique_ptr<RenderEngine> createRenderEngine();

// Whether the name is a texture of the current context.
bool isTexture(int name);

// How often GL could not create or fill a texture or framebuffer so far;
// a count that moved during a call fails it.
unsigned failureCount();
// Reports the errors pending in the current context (a caller's), so that
// they are not taken for the library's own.
void reportPendingErrors(const char* label);

// A framebuffer pool of its own for an engine on the caller's context, never
// mixed with the private context's; null without GL.
std::shared_ptr<FramebufferCache> createCallerPool();

// The GL side of one engine call. With the private context: makes it current
// (engines on other threads wait, since a context is current on one thread at
// a time) and puts the caller's context back at the end. In the caller's
// context: saves the GL state the library touches and restores it at the
// end. Either way GL diagnostics of the call reach the observer when there is
// one, and standard error only when there is none. The CPU backend needs none
// of this, and so never waits for another engine. `pool`: the caller
// context's framebuffer pool (external only).
class CallScope {
public:
    CallScope(bool external, IVideoProcessObserver* observer, bool cpu = false,
              FramebufferCache* pool = nullptr);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace gl_backend
}  // namespace video
}  // namespace kelvo
