#include "gl_test_env.h"

#include <epoxy/gl.h>

#include "gpu/gl_fbo.h"
#include "gpu/gpu_image_context.h"

namespace kelvo {
namespace video {

void GLTest::SetUp() {
    if (GPUImageContext::initFailed()) {
        GTEST_SKIP() << "no GL context can be created on this machine";
    }
    GPUImageContext::makeCurrent();
    keepGLDriverLoaded();
    // Errors left by an earlier test must not show up under this one's labels.
    while (glGetError() != GL_NO_ERROR) {
    }
}

void GLTest::TearDown() {
    if (!GPUImageContext::initFailed()) {
        GPUImageContext::releaseCurrent();
    }
}

std::vector<uint8_t> GLTest::readBack(FBOBase& framebuffer) {
    std::vector<uint8_t> pixels(static_cast<size_t>(framebuffer.width) * framebuffer.height * 4);
    int width = 0;
    int height = 0;
    framebuffer.ReadFrame(pixels.data(), width, height);
    return pixels;
}

void GLTest::clearTo(FBOBase& framebuffer, float r, float g, float b, float a) {
    framebuffer.bindFrameBuffer();
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
    framebuffer.unbindFrameBuffer();
}

}  // namespace video
}  // namespace kelvo
