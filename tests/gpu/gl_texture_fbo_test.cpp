#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <memory>
#include <vector>

#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"
#include "support/gl_test_env.h"

namespace kelvo {
namespace video {
namespace {

using TextureTest = GLTest;
using FramebufferTest = GLTest;

GLint boundFramebuffer() {
    GLint name = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &name);
    return name;
}

TEST_F(TextureTest, RecycleOfAWrapperForgetsTheNameButLeavesTheTexture) {
    GLTexture owner;
    owner.Load(nullptr, 0, 4, 2, GL_RGBA);
    ASSERT_NE(0u, owner.textureId);
    EXPECT_FALSE(owner.external);
    EXPECT_EQ(4, owner.width);
    EXPECT_EQ(2, owner.height);

    const GLuint name = owner.textureId;
    {
        GLTexture wrapper(name, kTexture2D, 4, 2);
        EXPECT_TRUE(wrapper.external);
        wrapper.recycle();
        EXPECT_EQ(0u, wrapper.textureId);
        EXPECT_EQ(0, wrapper.width);
        EXPECT_EQ(0, wrapper.height);
        EXPECT_TRUE(glIsTexture(name));
        GLTexture destroyedWrapper(name, kTextureExternalOES, 4, 2);
    }
    EXPECT_TRUE(glIsTexture(name));

    owner.recycle();
    EXPECT_FALSE(glIsTexture(name));
    EXPECT_EQ(0u, owner.textureId);
    EXPECT_EQ(0, owner.width);
    owner.recycle();  // a second teardown is harmless
    EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
}

TEST_F(FramebufferTest, ReadFrameOfATwoByTwoRedFramebuffer) {
    auto fbo = std::make_shared<GLFBO>();
    fbo->InitFBO(2, 2);
    ASSERT_NE(nullptr, fbo->texture);
    clearTo(*fbo, 1.f, 0.f, 0.f, 1.f);

    std::vector<uint8_t> pixels(16, 7);
    int width = 0;
    int height = 0;
    fbo->ReadFrame(pixels.data(), width, height);
    EXPECT_EQ(2, width);
    EXPECT_EQ(2, height);
    const std::vector<uint8_t> red = {255, 0, 0, 255, 255, 0, 0, 255,
                                      255, 0, 0, 255, 255, 0, 0, 255};
    EXPECT_EQ(red, pixels);
    EXPECT_EQ(0, boundFramebuffer());
    fbo->UnInitFBO();
}

TEST_F(FramebufferTest, ReadFrameWithoutGLNameLeavesOutputsAlone) {
    GLFBO fbo;
    uint8_t byte = 42;
    int width = -5;
    int height = -6;
    fbo.ReadFrame(&byte, width, height);
    EXPECT_EQ(42, byte);
    EXPECT_EQ(-5, width);
    EXPECT_EQ(-6, height);
}

TEST_F(FramebufferTest, InitAtTheStoredSizeTouchesNoGLState) {
    GLFBO fbo;
    fbo.InitFBO(3, 3);
    const GLuint framebuffer = fbo.framebufferId;
    const GLuint colour = fbo.colorTextureId;
    const auto texture = fbo.texture;

    GLFBO other;
    other.InitFBO(1, 1);
    other.bindFrameBuffer();
    fbo.InitFBO(3, 3);
    EXPECT_EQ(static_cast<GLint>(other.framebufferId), boundFramebuffer());
    EXPECT_EQ(framebuffer, fbo.framebufferId);
    EXPECT_EQ(colour, fbo.colorTextureId);
    EXPECT_EQ(texture, fbo.texture);
    other.unbindFrameBuffer();
    other.UnInitFBO();
    fbo.UnInitFBO();
}

TEST_F(FramebufferTest, InitAtANewSizeDeletesTheOldNames) {
    GLFBO fbo;
    fbo.InitFBO(2, 2);
    const GLuint oldFramebuffer = fbo.framebufferId;
    const GLuint oldColor = fbo.colorTextureId;
    ASSERT_TRUE(glIsFramebuffer(oldFramebuffer));

    fbo.InitFBO(5, 3);
    EXPECT_FALSE(glIsFramebuffer(oldFramebuffer));
    EXPECT_FALSE(glIsTexture(oldColor));
    EXPECT_EQ(5, fbo.width);
    EXPECT_EQ(3, fbo.height);
    ASSERT_NE(nullptr, fbo.texture);
    EXPECT_EQ(fbo.colorTextureId, fbo.texture->textureId);
    EXPECT_EQ(5, fbo.texture->width);
    EXPECT_TRUE(fbo.texture->external);
    fbo.UnInitFBO();
}

TEST_F(FramebufferTest, IncompleteFramebufferKeepsNoSizeAndNoTexture) {
    GLFBO fbo;
    testing::internal::CaptureStderr();
    fbo.InitFBO(0, 4);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(0, fbo.width);
    EXPECT_EQ(0, fbo.height);
    EXPECT_EQ(nullptr, fbo.texture);
    const GLuint failedFramebuffer = fbo.framebufferId;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    // A later complete init must not strand the failed attempt's names.
    fbo.InitFBO(2, 2);
    EXPECT_NE(nullptr, fbo.texture);
    EXPECT_FALSE(glIsFramebuffer(failedFramebuffer));

    fbo.UnInitFBO();
    EXPECT_EQ(0u, fbo.framebufferId);
    EXPECT_EQ(0u, fbo.colorTextureId);
    fbo.UnInitFBO();          // a second teardown is harmless
    EXPECT_EQ(2, fbo.width);  // size and texture reference are kept
    EXPECT_NE(nullptr, fbo.texture);
}

TEST_F(FramebufferTest, DropUseOfAFramebufferNotOwnedBySharedPtrThrows) {
    GLFBO fbo;
    fbo.addUse();
    EXPECT_THROW(fbo.dropUse(), std::bad_weak_ptr);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
