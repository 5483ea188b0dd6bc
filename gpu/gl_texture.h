// Texture handles.
#pragma once

#include <epoxy/gl.h>

#include <cstddef>
#include <cstdint>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

// A 2D image on the GPU, always held by shared reference. The describing
// fields live here so that any holder of a TextureBase can hand the name and
// type on (the render engine writes them into frames).
//
// All operations need the GL context current; none is thread-safe.
class TextureBase {
public:
    virtual ~TextureBase() = default;

    // Binds the texture to GL_TEXTURE0 + unit (target GL_TEXTURE_2D for both
    // texture types). The active unit stays at `unit`.
    virtual void bind(int unit) = 0;
    // Binds texture 0 to GL_TEXTURE0 + unit.
    virtual void unbind(int unit) = 0;
    // Deletes the GL name if this object owns it; in every case forgets the
    // name and size. Safe to call repeatedly.
    virtual void recycle() = 0;
    // (Re)allocates level 0 as width x height, internal and pixel format
    // `format` (GL_RGBA or GL_RED), GL_UNSIGNED_BYTE, from data + offset (null
    // data with offset 0 only allocates). Rows are read with the current
    // unpack alignment. Leaves the texture bound to the active unit. When
    // the storage cannot be made (a GL error, counted by glFailureCount) the
    // size becomes 0.
    virtual void Load(const uint8_t* data, size_t offset, int width, int height, GLenum format) = 0;

    GLuint textureId = 0;  // 0 = none
    int width = 0;
    int height = 0;
    int textureType = kTexture2D;  // kTexture2D or kTextureExternalOES
};

// OpenGL texture. Owning form: created by the default constructor, deletes
// its name in recycle() or the destructor. Wrapping form: names a texture
// owned elsewhere (`external`), never deletes it. Not copyable: one object per
// owned name, shared by reference.
class GLTexture : public TextureBase {
public:
    // Owning: creates a texture at once (linear filtering, edge clamping,
    // size 0, no storage until Load). Leaves GL_TEXTURE_2D of the active unit
    // bound to 0.
    GLTexture();
    // Wrapping: makes no GL call.
    GLTexture(GLuint textureId, int textureType, int width, int height);
    ~GLTexture() override;

    GLTexture(const GLTexture&) = delete;
    GLTexture& operator=(const GLTexture&) = delete;

    void bind(int unit) override;
    void unbind(int unit) override;
    void recycle() override;
    void Load(const uint8_t* data, size_t offset, int width, int height, GLenum format) override;

    bool external = false;  // true: the name belongs to someone else
};

}  // namespace video
}  // namespace kelvo
