#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <cstdlib>
#include <string>

#include "gpu/framebuffer_cache.h"
#include "gpu/gl_check.h"
#include "gpu/gpu_image_context.h"
#include "platform/egl/native_context_egl.h"
#include "support/gl_test_env.h"

namespace kelvo {
namespace video {
namespace {

using GLContextTest = GLTest;

TEST_F(GLContextTest, ReportsAMesaRendererWithGlsl330) {
    const std::string vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    const std::string renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    EXPECT_TRUE(vendor.find("Mesa") != std::string::npos ||
                renderer.find("llvmpipe") != std::string::npos)
        << vendor << " / " << renderer;
    EXPECT_GE(epoxy_gl_version(), 33);
    EXPECT_GE(epoxy_glsl_version(), 330);
}

TEST_F(GLContextTest, TakesGlfwWithADisplayAndEglWithout) {
    const char* display = std::getenv("DISPLAY");
    const std::string expected = (KELVO_WITH_GLFW && display && *display) ? "glfw" : "egl";
    EXPECT_EQ(expected, GPUImageContext::backendName());
}

TEST_F(GLContextTest, InstanceIsCreatedOnceAndSurvivesRepeatedMakeCurrent) {
    GPUImageContext* first = GPUImageContext::instance();
    GPUImageContext::makeCurrent();
    GPUImageContext::makeCurrent();
    EXPECT_EQ(first, GPUImageContext::instance());
    EXPECT_FALSE(GPUImageContext::initFailed());
    EXPECT_NE(nullptr, glGetString(GL_VERSION));
}

TEST_F(GLContextTest, ReleaseCurrentWithoutHolderCreatesAFreshContext) {
    // Idle framebuffers name objects of the context about to go.
    FramebufferCache::instance()->purge();
    GPUImageContext::destroyInstance();
    EXPECT_STREQ("none", GPUImageContext::backendName());

    GPUImageContext::releaseCurrent();
    EXPECT_STRNE("none", GPUImageContext::backendName());
    EXPECT_FALSE(GPUImageContext::initFailed());

    GPUImageContext::makeCurrent();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    EXPECT_NE(0u, texture);
    glDeleteTextures(1, &texture);
    EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
}

// Headless GPU servers expose their GPUs only through EGL's device
// platform; Mesa's software device lets that path be exercised here.
TEST_F(GLContextTest, EachEGLDisplaySourceGivesACoreContextThatRenders) {
    // libglvnd refuses an EGL context on a thread holding the GLFW (GLX) one.
    if (std::string(GPUImageContext::backendName()) != "egl") GTEST_SKIP() << "GLX context current";
    for (EGLDisplaySource source :
         {EGLDisplaySource::kDevice, EGLDisplaySource::kSurfaceless, EGLDisplaySource::kAny}) {
        SCOPED_TRACE(static_cast<int>(source));
        NativeContext_EGL context(source);
        ASSERT_EQ(0, context.init());
        context.makeCurrent();
        EXPECT_GE(epoxy_gl_version(), 33);
        GLuint texture = 0, framebuffer = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        unsigned char pixel[4] = {};
        glReadPixels(1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        EXPECT_EQ(255, pixel[0]);
        EXPECT_NEAR(128, pixel[1], 1);
        EXPECT_EQ(0, pixel[2]);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteTextures(1, &texture);
        context.releaseCurrent();
    }
    GPUImageContext::makeCurrent();
}

TEST_F(GLContextTest, PrintsAPendingErrorUnderTheLabelOfTheNextCheck) {
    glBindTexture(0xDEAD, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, checkGLError("Texture.bind 1"));
    checkGLError("nothing pending");
    EXPECT_EQ("Texture.bind 1: glError:GL_INVALID_ENUM\n", testing::internal::GetCapturedStderr());
}

unsigned int scriptedErrors[8];
int scriptedNext = 0;
unsigned int nextScriptedError() { return scriptedErrors[scriptedNext++]; }

TEST(GLErrorReport, PrintsOneLineForEachPendingErrorInOrder) {
    // The driver keeps only one error flag, so a known sequence stands in for
    // a driver that queues several.
    const unsigned int sequence[] = {
        GL_INVALID_VALUE,     0x0503,          GL_OUT_OF_MEMORY, GL_INVALID_FRAMEBUFFER_OPERATION,
        GL_INVALID_OPERATION, GL_INVALID_ENUM, 0x0504,           GL_NO_ERROR};
    std::copy(std::begin(sequence), std::end(sequence), scriptedErrors);
    scriptedNext = 0;
    testing::internal::CaptureStderr();
    reportGLErrors("InitFBO end", nextScriptedError);
    EXPECT_EQ(
        "InitFBO end: glError:GL_INVALID_VALUE\n"
        "InitFBO end: glError:\n"
        "InitFBO end: glError:GL_OUT_OF_MEMORY\n"
        "InitFBO end: glError:GL_INVALID_FRAMEBUFFER_OPERATION\n"
        "InitFBO end: glError:GL_INVALID_OPERATION\n"
        "InitFBO end: glError:GL_INVALID_ENUM\n"
        "InitFBO end: glError:\n",
        testing::internal::GetCapturedStderr());
    EXPECT_EQ(8, scriptedNext);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
