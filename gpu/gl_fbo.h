// Framebuffers with one RGBA8 colour texture.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <memory>

#include "gpu/gl_texture.h"

namespace kelvo {
namespace video {

class FramebufferCache;

// A framebuffer object with one colour texture, always owned by a
// std::shared_ptr (the self reference lets dropUse hand it back to the
// FramebufferCache). The destructor deletes no GL object: GL names are
// deleted only by UnInitFBO (the cache calls it on purge), so a framebuffer
// can be dropped without a current context.
//
// Not thread-safe; GL operations need the context current.
class FBOBase : public std::enable_shared_from_this<FBOBase> {
public:
    virtual ~FBOBase() = default;

    // Creates framebuffer and colour texture of that size. Does nothing (no
    // GL call) when the size equals the stored one. An earlier size's GL
    // names are deleted first. When the framebuffer is incomplete the stored
    // size stays, `texture` stays empty, framebuffer and texture are left
    // bound, and the failure is counted (glFailureCount).
    virtual void InitFBO(int width, int height) = 0;
    // Deletes the GL names (idempotent). Size and `texture` stay.
    virtual void UnInitFBO() = 0;
    // Binds the framebuffer and sets the viewport to its size.
    virtual void bindFrameBuffer() = 0;
    // Binds framebuffer 0.
    virtual void unbindFrameBuffer() = 0;
    // Reads the whole colour texture as tightly packed RGBA bytes, bottom row
    // first, into buffer (width * height * 4 bytes), and reports the size.
    // Without a GL name: returns at once, outputs untouched.
    virtual void ReadFrame(uint8_t* buffer, int& width, int& height) = 0;

    // Users of an acquired framebuffer count themselves in.
    void addUse();
    // Drops one use; at 0 the framebuffer goes back to its pool.
    // Throws std::bad_weak_ptr when not owned by a shared_ptr.
    void dropUse();
    void clearUses();

    int width = 0;  // size of the last successful InitFBO
    int height = 0;
    GLuint framebufferId = 0;   // 0 = none
    GLuint colorTextureId = 0;  // 0 = none
    // Wraps colorTextureId (type 1, external); empty until InitFBO completes.
    std::shared_ptr<GLTexture> texture;
    int useCount = 0;
    // The pool that handed it out, which it goes back to. One made outside
    // a pool goes to the current pool (FramebufferCache::instance()); one
    // whose pool is gone is dropped, as its context went with the pool.
    std::weak_ptr<FramebufferCache> pool;
    bool pooled = false;
};

class GLFBO : public FBOBase {
public:
    GLFBO() = default;
    GLFBO(const GLFBO&) = delete;
    GLFBO& operator=(const GLFBO&) = delete;

    void InitFBO(int width, int height) override;
    void UnInitFBO() override;
    void bindFrameBuffer() override;
    void unbindFrameBuffer() override;
    void ReadFrame(uint8_t* buffer, int& width, int& height) override;
};

}  // namespace video
}  // namespace kelvo
