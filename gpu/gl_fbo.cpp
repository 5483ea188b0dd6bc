#include "gpu/gl_fbo.h"

#include "gpu/framebuffer_cache.h"
#include "gpu/gl_check.h"

namespace kelvo {
namespace video {

void FBOBase::addUse() { ++useCount; }

void FBOBase::dropUse() {
    if (--useCount >= 1) {
        return;
    }
    if (std::shared_ptr<FramebufferCache> owner = pool.lock()) {
        owner->giveBack(shared_from_this());
    } else if (!pooled) {
        FramebufferCache::instance()->giveBack(shared_from_this());
    }
}

void FBOBase::clearUses() { useCount = 0; }

void GLFBO::InitFBO(int width, int height) {
    if (width == this->width && height == this->height) {
        return;
    }
    checkGLError("InitFBO begin");
    // Names of an earlier size (or of an attempt that did not complete)
    // would otherwise be lost.
    if (framebufferId || colorTextureId) {
        UnInitFBO();
        texture.reset();
    }

    if (glAllocationFailureInjected("InitFBO")) {
        return;
    }
    glGenFramebuffers(1, &framebufferId);
    glBindFramebuffer(GL_FRAMEBUFFER, framebufferId);

    glGenTextures(1, &colorTextureId);
    glBindTexture(GL_TEXTURE_2D, colorTextureId);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);

    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTextureId, 0);
    checkGLAllocation("glFramebufferTexture2D");

    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        noteGLFailure("InitFBO", "framebuffer incomplete");
        return;
    }

    this->width = width;
    this->height = height;
    texture = std::make_shared<GLTexture>(colorTextureId, kTexture2D, width, height);

    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    checkGLError("InitFBO end");
}

void GLFBO::UnInitFBO() {
    checkGLError("UnInitFBO 1");
    if (colorTextureId > 0) {
        glDeleteTextures(1, &colorTextureId);
        colorTextureId = 0;
    }
    if (framebufferId > 0) {
        glDeleteFramebuffers(1, &framebufferId);
        framebufferId = 0;
    }
    checkGLError("UnInitFBO 2");
}

void GLFBO::bindFrameBuffer() {
    glBindFramebuffer(GL_FRAMEBUFFER, framebufferId);
    checkGLError("glBindFramebuffer");
    glViewport(0, 0, width, height);
}

void GLFBO::unbindFrameBuffer() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    checkGLError("FBO.unbindFrameBuffer");
}

void GLFBO::ReadFrame(uint8_t* buffer, int& width, int& height) {
    if (framebufferId == 0) {
        return;
    }
    width = this->width;
    height = this->height;
    glBindFramebuffer(GL_FRAMEBUFFER, framebufferId);
    glReadPixels(0, 0, this->width, this->height, GL_RGBA, GL_UNSIGNED_BYTE, buffer);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    checkGLError("FBO.ReadFrame");
}

}  // namespace video
}  // namespace kelvo
