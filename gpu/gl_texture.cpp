#include "gpu/gl_texture.h"

#include "gpu/gl_check.h"

namespace kelvo {
namespace video {

GLTexture::GLTexture() {
    glGenTextures(1, &textureId);
    glBindTexture(GL_TEXTURE_2D, textureId);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, 0);
}

GLTexture::GLTexture(GLuint textureId, int textureType, int width, int height) : external(true) {
    this->textureId = textureId;
    this->textureType = textureType;
    this->width = width;
    this->height = height;
}

GLTexture::~GLTexture() { recycle(); }

void GLTexture::bind(int unit) {
    glActiveTexture(GL_TEXTURE0 + unit);
    checkGLError("Texture.bind 1");
    glBindTexture(GL_TEXTURE_2D, textureId);
    checkGLError("Texture.bind 2");
}

void GLTexture::unbind(int unit) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, 0);
    checkGLError("Texture.unbind");
}

void GLTexture::recycle() {
    if (textureId > 0 && !external) {
        glDeleteTextures(1, &textureId);
        checkGLError("Texture.recycle");
    }
    textureId = 0;
    width = 0;
    height = 0;
}

void GLTexture::Load(const uint8_t* data, size_t offset, int width, int height, GLenum format) {
    glBindTexture(GL_TEXTURE_2D, textureId);
    if (glAllocationFailureInjected("Texture.Load")) {
        this->width = this->height = 0;
        return;
    }
    const uint8_t* pixels = data ? data + offset : nullptr;
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, format,
                 GL_UNSIGNED_BYTE, pixels);
    // Storage that could not be made has no size.
    const bool loaded = checkGLAllocation("Texture.Load");
    this->width = loaded ? width : 0;
    this->height = loaded ? height : 0;
}

}  // namespace video
}  // namespace kelvo
