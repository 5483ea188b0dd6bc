// Shader programs drawing one full-screen quad.
#pragma once

#include <epoxy/gl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "gpu/gl_texture.h"

namespace kelvo {
namespace video {

// Interface effects draw with. A setter calls GL only when the value differs
// from the one the program already holds (a program's uniforms change only
// through these setters), and then makes the program current to set it; a
// name that is not active in the program (location -1) is skipped silently.
// Needs the GL context current; not thread-safe.
class ProgramBase {
public:
    virtual ~ProgramBase() = default;

    virtual void setUniform1i(const char* name, int value) = 0;
    virtual void setUniform1f(const char* name, float x) = 0;
    virtual void setUniform2f(const char* name, float x, float y) = 0;
    virtual void setUniform3f(const char* name, float x, float y, float z) = 0;
    virtual void setUniform4f(const char* name, float x, float y, float z, float w) = 0;
    // count 1 to 4 dispatches to setUniform1f..4f; any other count sets nothing.
    virtual void setUniformfv(const char* name, const float* values, int count) = 0;
    // values: 9 floats.
    virtual void setUniformMatrix3fv(const char* name, const float* values, bool transpose) = 0;
    // Binds the texture to the sampler's unit and sets the sampler to it.
    // Units are 0, 1, 2, ... in the order the program first sees each sampler
    // name, fixed for the program's life. The texture stays bound.
    virtual void SetUniformTexture(const char* name,
                                   const std::shared_ptr<TextureBase>& texture) = 0;
    // Draws the quad over the whole bound framebuffer, which the caller binds
    // (and sets the viewport to) first. The framebuffer is cleared to
    // transparent black beforehand only where the old contents could show
    // through: with blending, colour logic operations or face culling on.
    virtual void draw() = 0;
    // Feeds the quad to the vertex shader's attributes.
    virtual void bindAttributes() = 0;

    // Sampler name -> texture unit.
    std::map<std::string, int> textureUnits;
};

// OpenGL program from a vertex and a fragment shader text. Compile and link
// logs are printed (" glError %s\n"); a failed program keeps name 0 and every
// call on it still runs and draws nothing useful. Owns the program, its
// vertex array and attribute buffers, all deleted by the destructor (context
// current). Uniform and attribute locations are looked up once per name.
// Not copyable.
class GLProgram : public ProgramBase {
public:
    GLProgram(const char* vertexSource, const char* fragmentSource);
    ~GLProgram() override;

    GLProgram(const GLProgram&) = delete;
    GLProgram& operator=(const GLProgram&) = delete;

    void setUniform1i(const char* name, int value) override;
    void setUniform1f(const char* name, float x) override;
    void setUniform2f(const char* name, float x, float y) override;
    void setUniform3f(const char* name, float x, float y, float z) override;
    void setUniform4f(const char* name, float x, float y, float z, float w) override;
    void setUniformfv(const char* name, const float* values, int count) override;
    void setUniformMatrix3fv(const char* name, const float* values, bool transpose) override;
    void SetUniformTexture(const char* name, const std::shared_ptr<TextureBase>& texture) override;
    void draw() override;
    // "aPosition" <- quadPositions, "aTextureCoord" <- quadTexCoords.
    void bindAttributes() override;

    // The GL program name; 0 when compiling or linking failed.
    GLuint programId() const { return program; }

    // Compiles one shader; 0 on failure (log printed, shader deleted).
    static GLuint loadShader(GLenum type, const char* source);
    // Compiles and links; 0 on failure (logs printed, objects deleted).
    static GLuint createProgram(const char* vertexSource, const char* fragmentSource);

protected:
    // Binds the vertex array and feeds 8 floats (4 vertices, 2 components)
    // to the attribute, if the program has it. The first call per name
    // creates the buffer (and the vertex array) and points the attribute at
    // it; later calls upload only data that differs from the last upload.
    void setVetextAttribPointer(const char* name, const float* data);

    // Triangle strip bottom-left, bottom-right, top-left, top-right; texture
    // (0,0) at the bottom-left, so passes never flip the image.
    float quadPositions[8] = {-1.f, -1.f, 1.f, -1.f, -1.f, 1.f, 1.f, 1.f};
    float quadTexCoords[8] = {0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 1.f};
    GLuint program = 0;
    GLuint vertexArray = 0;
    std::map<std::string, GLuint> attributeBuffers;

private:
    // What the program holds for one uniform name.
    struct UniformState {
        GLint location = -1;
        int kind = 0;  // 0: nothing set yet; else the setter that set it
        float values[9] = {};
        int intValue = 0;
    };
    // What an attribute's buffer holds.
    struct AttributeState {
        GLint location = -1;
        float data[8] = {};
    };
    UniformState& uniform(const char* name);
    // True when the uniform already holds these values from the same setter;
    // otherwise records them and makes the program current.
    bool unchanged(UniformState& state, int kind, const float* values, int count);

    std::map<std::string, UniformState, std::less<>> uniforms_;
    std::map<std::string, AttributeState, std::less<>> attributes_;
};

}  // namespace video
}  // namespace kelvo
