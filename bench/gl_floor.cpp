// The floor under the GPU stages, in plain GL calls with nothing of the
// library in between: one full-screen pass sampling one texture, the upload
// of an I420 frame as three GL_RED planes, and a whole RGBA readback, each at
// frame size and waited for.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

#include "bench/bench_util.h"
#include "gpu/default_programs.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_program.h"
#include "gpu/gpu_image_context.h"

namespace kelvo {
namespace video {
namespace {

std::vector<uint8_t> pattern(size_t bytes) {
    std::vector<uint8_t> data(bytes);
    uint32_t seed = 3;
    for (auto& byte : data) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return data;
}

GLuint makeTexture(GLenum format, int width, int height, const uint8_t* data) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, format,
                 GL_UNSIGNED_BYTE, data);
    return texture;
}

bool contextReady(benchmark::State& state) {
    GPUImageContext::makeCurrent();
    if (GPUImageContext::initFailed()) {
        state.SkipWithError("no GL context");
        return false;
    }
    return true;
}

void BM_FloorPass(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    if (!contextReady(state)) return;
    {
        const auto pixels = pattern(static_cast<size_t>(width) * height * 4);
        const GLuint source = makeTexture(GL_RGBA, width, height, pixels.data());
        GLFBO target;
        target.InitFBO(width, height);
        const GLuint program =
            GLProgram::createProgram(kDefaultVertexShader, kDefaultFragmentShader);
        const float quad[16] = {-1.f, -1.f, 1.f, -1.f, -1.f, 1.f, 1.f, 1.f,
                                0.f,  0.f,  1.f, 0.f,  0.f,  1.f, 1.f, 1.f};
        GLuint vertexArray = 0;
        GLuint buffer = 0;
        glGenVertexArrays(1, &vertexArray);
        glBindVertexArray(vertexArray);
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 0,
                              reinterpret_cast<const void*>(8 * sizeof(float)));
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glUseProgram(program);
        glUniform1i(glGetUniformLocation(program, "basetex"), 0);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, source);
        glBindFramebuffer(GL_FRAMEBUFFER, target.framebufferId);
        glViewport(0, 0, width, height);
        // The driver compiles the shaders at their first draw; keep that out.
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glFinish();
        for (auto _ : state) {
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
            glFinish();
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
        glUseProgram(0);
        glBindVertexArray(0);
        glDeleteBuffers(1, &buffer);
        glDeleteVertexArrays(1, &vertexArray);
        glDeleteProgram(program);
        glDeleteTextures(1, &source);
        target.UnInitFBO();
    }
    bench::countFrames(state);
    GPUImageContext::releaseCurrent();
}

void BM_FloorUploadI420(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    if (!contextReady(state)) return;
    {
        const auto planes = pattern(static_cast<size_t>(width) * height * 3 / 2);
        const uint8_t* y = planes.data();
        const uint8_t* u = y + static_cast<size_t>(width) * height;
        const uint8_t* v = u + static_cast<size_t>(width / 2) * (height / 2);
        GLuint textures[3] = {makeTexture(GL_RED, width, height, nullptr),
                              makeTexture(GL_RED, width / 2, height / 2, nullptr),
                              makeTexture(GL_RED, width / 2, height / 2, nullptr)};
        for (auto _ : state) {
            glBindTexture(GL_TEXTURE_2D, textures[0]);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RED, GL_UNSIGNED_BYTE, y);
            glBindTexture(GL_TEXTURE_2D, textures[1]);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width / 2, height / 2, GL_RED, GL_UNSIGNED_BYTE,
                            u);
            glBindTexture(GL_TEXTURE_2D, textures[2]);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width / 2, height / 2, GL_RED, GL_UNSIGNED_BYTE,
                            v);
            glFinish();
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(3, textures);
    }
    bench::countFrames(state);
    GPUImageContext::releaseCurrent();
}

void BM_FloorReadbackRGBA(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    if (!contextReady(state)) return;
    {
        GLFBO source;
        source.InitFBO(width, height);
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
        glBindFramebuffer(GL_FRAMEBUFFER, source.framebufferId);
        glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glFinish();
        for (auto _ : state) {
            glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            benchmark::DoNotOptimize(pixels[0]);
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        source.UnInitFBO();
    }
    bench::countFrames(state);
    GPUImageContext::releaseCurrent();
}

BENCHMARK(BM_FloorPass)->Apply(bench::frameSizes);
BENCHMARK(BM_FloorUploadI420)->Apply(bench::frameSizes);
BENCHMARK(BM_FloorReadbackRGBA)->Apply(bench::frameSizes);

}  // namespace
}  // namespace video
}  // namespace kelvo

BENCHMARK_MAIN();
