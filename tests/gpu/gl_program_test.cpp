#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <memory>
#include <string>
#include <vector>

#include "gpu/default_programs.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"
#include "support/gl_test_env.h"

namespace kelvo {
namespace video {
namespace {

using ProgramTest = GLTest;

const char* const kTwoSamplerFragment =
    "#version 330\n"
    "in vec2 vTextureCoord;\n"
    "out vec4 FragColor;\n"
    "uniform sampler2D a;\n"
    "uniform sampler2D b;\n"
    "uniform vec3 tint;\n"
    "uniform float unused;\n"
    "void main() { FragColor = texture(a, vTextureCoord) + texture(b, vTextureCoord)"
    " + vec4(tint, 0.0); }\n";

// Exposes the GL names the program owns.
class InspectableProgram : public GLProgram {
public:
    InspectableProgram() : GLProgram(kDefaultVertexShader, kTwoSamplerFragment) {}
    GLuint vertexArrayName() const { return vertexArray; }
    std::vector<GLuint> bufferNames() const {
        std::vector<GLuint> names;
        for (const auto& attribute : attributeBuffers) {
            names.push_back(attribute.second);
        }
        return names;
    }
};

GLint samplerUnit(const GLProgram& program, const char* name) {
    GLint unit = -1;
    glGetUniformiv(program.programId(), glGetUniformLocation(program.programId(), name), &unit);
    return unit;
}

TEST_F(ProgramTest, SamplerUnitsFollowFirstUseAndStartAtZeroPerProgram) {
    auto texture = std::make_shared<GLTexture>();
    InspectableProgram first;
    ASSERT_NE(0u, first.programId());
    first.SetUniformTexture("a", texture);
    first.SetUniformTexture("b", texture);
    first.SetUniformTexture("a", texture);
    EXPECT_EQ(0, first.textureUnits.at("a"));
    EXPECT_EQ(1, first.textureUnits.at("b"));
    EXPECT_EQ(2u, first.textureUnits.size());
    EXPECT_EQ(0, samplerUnit(first, "a"));
    EXPECT_EQ(1, samplerUnit(first, "b"));

    InspectableProgram second;
    second.SetUniformTexture("b", texture);
    EXPECT_EQ(0, second.textureUnits.at("b"));
    EXPECT_EQ(0, samplerUnit(second, "b"));
    glActiveTexture(GL_TEXTURE0);
}

TEST_F(ProgramTest, SetUniformfvSetsOneToFourComponentsOnly) {
    InspectableProgram program;
    const float values[5] = {0.25f, 0.5f, 0.75f, 1.f, 2.f};
    program.setUniformfv("tint", values, 3);
    float read[3] = {};
    const GLint location = glGetUniformLocation(program.programId(), "tint");
    glGetUniformfv(program.programId(), location, read);
    EXPECT_FLOAT_EQ(0.25f, read[0]);
    EXPECT_FLOAT_EQ(0.5f, read[1]);
    EXPECT_FLOAT_EQ(0.75f, read[2]);

    const float other[5] = {9.f, 9.f, 9.f, 9.f, 9.f};
    testing::internal::CaptureStderr();
    program.setUniformfv("tint", other, 5);
    program.setUniformfv("tint", other, 0);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    glGetUniformfv(program.programId(), location, read);
    EXPECT_FLOAT_EQ(0.25f, read[0]);
    EXPECT_FLOAT_EQ(0.75f, read[2]);
}

TEST_F(ProgramTest, UniformsTheCompilerRemovedAreSetSilently) {
    InspectableProgram program;
    ASSERT_EQ(-1, glGetUniformLocation(program.programId(), "unused"));
    testing::internal::CaptureStderr();
    program.setUniform1f("unused", 1.f);
    program.setUniform1i("missing", 3);
    program.setUniform4f("missing", 1.f, 2.f, 3.f, 4.f);
    const float matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    program.setUniformMatrix3fv("missing", matrix, false);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

TEST_F(ProgramTest, DestructorDeletesProgramVertexArrayAndBuffers) {
    auto fbo = std::make_shared<GLFBO>();
    fbo->InitFBO(2, 2);
    GLuint programName = 0;
    GLuint vertexArray = 0;
    std::vector<GLuint> buffers;
    {
        InspectableProgram program;
        fbo->bindFrameBuffer();
        program.draw();
        fbo->unbindFrameBuffer();
        programName = program.programId();
        vertexArray = program.vertexArrayName();
        buffers = program.bufferNames();
        ASSERT_EQ(2u, buffers.size());
        ASSERT_TRUE(glIsVertexArray(vertexArray));
    }
    EXPECT_FALSE(glIsProgram(programName));
    EXPECT_FALSE(glIsVertexArray(vertexArray));
    for (GLuint buffer : buffers) {
        EXPECT_FALSE(glIsBuffer(buffer));
    }
    fbo->UnInitFBO();
}

TEST_F(ProgramTest, ExternalImageProgramFailsOnDesktopGLAndPrintsItsLogs) {
    testing::internal::CaptureStderr();
    OESProgram program;
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, program.programId());
    EXPECT_EQ(0u, output.find(" glError "));
    EXPECT_NE(std::string::npos, output.find("glAttachFragShader: glError:"));
}

// A 3x2 image whose every pixel differs, rows stored first row first.
std::vector<uint8_t> testImage(int width, int height) {
    std::vector<uint8_t> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.push_back(static_cast<uint8_t>(40 * x + 10));
            pixels.push_back(static_cast<uint8_t>(100 * y + 20));
            pixels.push_back(static_cast<uint8_t>(17 * (x + width * y)));
            pixels.push_back(255);
        }
    }
    return pixels;
}

TEST_F(ProgramTest, CopyPassesKeepTheImageOrientation) {
    const int width = 5;
    const int height = 3;
    const std::vector<uint8_t> image = testImage(width, height);
    auto source = std::make_shared<GLTexture>();
    source->Load(image.data(), 0, width, height, GL_RGBA);

    std::shared_ptr<FBOBase> targets[2] = {std::make_shared<GLFBO>(), std::make_shared<GLFBO>()};
    for (auto& target : targets) {
        target->InitFBO(width, height);
    }
    BaseRenderProgram copy;
    ASSERT_NE(0u, copy.programId());

    std::shared_ptr<TextureBase> current = source;
    for (int pass = 0; pass < 3; ++pass) {
        FBOBase& target = *targets[pass % 2];
        target.bindFrameBuffer();
        copy.SetUniformTexture("basetex", current);
        copy.draw();
        target.unbindFrameBuffer();
        current = target.texture;
    }
    // Sampling at texel centres with linear filtering is exact, so every pass
    // must reproduce the bytes unchanged.
    EXPECT_EQ(image, readBack(*targets[0]));
    for (auto& target : targets) {
        target->UnInitFBO();
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
