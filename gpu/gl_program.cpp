#include "gpu/gl_program.h"

#include <cstring>

#include "gpu/gl_check.h"

namespace kelvo {
namespace video {

GLuint GLProgram::loadShader(GLenum type, const char* source) {
    GLuint shader = glCreateShader(type);
    if (shader == 0) {
        return 0;
    }
    const GLint length = static_cast<GLint>(std::strlen(source));
    glShaderSource(shader, 1, &source, &length);
    glCompileShader(shader);
    GLint compiled = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == 0) {
        char log[4096] = {};
        glGetShaderInfoLog(shader, sizeof(log) - 1, nullptr, log);
        glDiagnosticPrint(" glError %s\n", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint GLProgram::createProgram(const char* vertexSource, const char* fragmentSource) {
    GLuint vertex = loadShader(GL_VERTEX_SHADER, vertexSource);
    checkGLError("loadShader GL_VERTEX_SHADER");
    GLuint fragment = loadShader(GL_FRAGMENT_SHADER, fragmentSource);
    checkGLError("loadShader GL_FRAGMENT_SHADER");

    GLuint program = glCreateProgram();
    if (program == 0) {
        // Shaders are not attached to anything; do not leave them behind.
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        return 0;
    }
    glAttachShader(program, vertex);
    checkGLError("glAttachVertexShader");
    glAttachShader(program, fragment);
    checkGLError("glAttachFragShader");

    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    // Desktop GL links a program that lacks a stage, which would then draw
    // undefined output; a shader that did not compile fails the program.
    if (linked != GL_TRUE || vertex == 0 || fragment == 0) {
        char log[512] = {};
        glGetProgramInfoLog(program, sizeof(log) - 1, nullptr, log);
        glDiagnosticPrint(" glError %s\n", log);
        glDeleteProgram(program);
        program = 0;
    }
    // Deleting name 0 is a no-op, so a failed shader needs no test here.
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    return program;
}

GLProgram::GLProgram(const char* vertexSource, const char* fragmentSource) {
    program = createProgram(vertexSource, fragmentSource);
    checkGLError("Program.init");
    vertexArray = 0;
}

GLProgram::~GLProgram() {
    checkGLError("Program.recycle 1");
    if (program != 0) {
        // A deleted program that is still current lives on until replaced.
        GLint current = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &current);
        if (static_cast<GLuint>(current) == program) {
            glUseProgram(0);
        }
        glDeleteProgram(program);
        program = 0;
    }
    // The vertex array and buffers exist only for this program's quad.
    for (auto& attribute : attributeBuffers) {
        glDeleteBuffers(1, &attribute.second);
    }
    attributeBuffers.clear();
    attributes_.clear();
    uniforms_.clear();
    if (vertexArray != 0) {
        glDeleteVertexArrays(1, &vertexArray);
        vertexArray = 0;
    }
    checkGLError("GLProgram.recycle 2");
    textureUnits.clear();
}

GLProgram::UniformState& GLProgram::uniform(const char* name) {
    auto found = uniforms_.find(name);
    if (found == uniforms_.end()) {
        found = uniforms_.emplace(name, UniformState()).first;
        found->second.location = glGetUniformLocation(program, name);
    } else if (program == 0) {
        // A failed program reports its error on every call, as before.
        glGetUniformLocation(program, name);
    }
    return found->second;
}

bool GLProgram::unchanged(UniformState& state, int kind, const float* values, int count) {
    // Bitwise, so that -0 and NaN are set like any other new value.
    const size_t bytes = static_cast<size_t>(count) * sizeof(float);
    if (state.kind == kind && std::memcmp(state.values, values, bytes) == 0) {
        return true;
    }
    state.kind = kind;
    std::memcpy(state.values, values, bytes);
    glUseProgram(program);
    return false;
}

namespace {
// Setter kinds of a uniform's last value.
enum { kSet1f = 1, kSet2f, kSet3f, kSet4f, kSetMatrix, kSetMatrixTransposed, kSet1i };
}  // namespace

void GLProgram::setUniform1i(const char* name, int value) {
    UniformState& state = uniform(name);
    if (state.location >= 0 && (state.kind != kSet1i || state.intValue != value)) {
        state.kind = kSet1i;
        state.intValue = value;
        glUseProgram(program);
        glUniform1i(state.location, value);
    }
    checkGLError("GLProgram.setUniform1i");
}

void GLProgram::setUniform1f(const char* name, float x) {
    UniformState& state = uniform(name);
    const float values[1] = {x};
    if (state.location >= 0 && !unchanged(state, kSet1f, values, 1)) {
        glUniform1f(state.location, x);
    }
    checkGLError("GLProgram.setUniform1f");
}

void GLProgram::setUniform2f(const char* name, float x, float y) {
    UniformState& state = uniform(name);
    const float values[2] = {x, y};
    if (state.location >= 0 && !unchanged(state, kSet2f, values, 2)) {
        glUniform2f(state.location, x, y);
    }
    checkGLError("GLProgram.setUniform2f");
}

void GLProgram::setUniform3f(const char* name, float x, float y, float z) {
    UniformState& state = uniform(name);
    const float values[3] = {x, y, z};
    if (state.location >= 0 && !unchanged(state, kSet3f, values, 3)) {
        glUniform3f(state.location, x, y, z);
    }
    checkGLError("GLProgram.setUniform3f");
}

void GLProgram::setUniform4f(const char* name, float x, float y, float z, float w) {
    UniformState& state = uniform(name);
    const float values[4] = {x, y, z, w};
    if (state.location >= 0 && !unchanged(state, kSet4f, values, 4)) {
        glUniform4f(state.location, x, y, z, w);
    }
    checkGLError("GLProgram.setUniform4f");
}

void GLProgram::setUniformfv(const char* name, const float* values, int count) {
    switch (count) {
        case 1:
            setUniform1f(name, values[0]);
            break;
        case 2:
            setUniform2f(name, values[0], values[1]);
            break;
        case 3:
            setUniform3f(name, values[0], values[1], values[2]);
            break;
        case 4:
            setUniform4f(name, values[0], values[1], values[2], values[3]);
            break;
        default:
            break;
    }
}

void GLProgram::setUniformMatrix3fv(const char* name, const float* values, bool transpose) {
    UniformState& state = uniform(name);
    if (state.location >= 0 &&
        !unchanged(state, transpose ? kSetMatrixTransposed : kSetMatrix, values, 9)) {
        glUniformMatrix3fv(state.location, 1, transpose ? GL_TRUE : GL_FALSE, values);
    }
    checkGLError("GLProgram.setUniformMatrix3fv");
}

void GLProgram::SetUniformTexture(const char* name, const std::shared_ptr<TextureBase>& texture) {
    checkGLError("SetUniformTexture");
    auto found = textureUnits.find(name);
    int unit;
    if (found != textureUnits.end()) {
        unit = found->second;
    } else {
        unit = static_cast<int>(textureUnits.size());
        textureUnits.emplace(name, unit);
    }
    if (texture) {
        texture->bind(unit);
    }
    setUniform1i(name, unit);
}

void GLProgram::draw() {
    glUseProgram(program);
    checkGLError("Program.draw1");
    // The quad covers every pixel of the viewport, so a clear would only be
    // overwritten, unless a caller's state mixes in the old contents.
    if (glIsEnabled(GL_BLEND) || glIsEnabled(GL_COLOR_LOGIC_OP) || glIsEnabled(GL_CULL_FACE)) {
        glClearColor(0.f, 0.f, 0.f, 0.f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    checkGLError("Program.draw2");
    bindAttributes();
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    checkGLError("Program.draw");
}

void GLProgram::bindAttributes() {
    setVetextAttribPointer("aPosition", quadPositions);
    setVetextAttribPointer("aTextureCoord", quadTexCoords);
}

void GLProgram::setVetextAttribPointer(const char* name, const float* data) {
    if (vertexArray == 0) {
        glGenVertexArrays(1, &vertexArray);
    }
    glBindVertexArray(vertexArray);

    constexpr size_t kBytes = 8 * sizeof(float);
    auto found = attributes_.find(name);
    if (found == attributes_.end()) {
        GLuint buffer = 0;
        glGenBuffers(1, &buffer);
        attributeBuffers.emplace(name, buffer);
        AttributeState state;
        state.location = glGetAttribLocation(program, name);
        std::memcpy(state.data, data, kBytes);
        found = attributes_.emplace(name, state).first;
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, kBytes, data, GL_STATIC_DRAW);
        checkGLError("Set VBO and VAO");
        // The vertex array keeps the pointer and the buffer it names.
        if (state.location >= 0) {
            glVertexAttribPointer(static_cast<GLuint>(state.location), 2, GL_FLOAT, GL_FALSE,
                                  2 * sizeof(float), nullptr);
            glEnableVertexAttribArray(static_cast<GLuint>(state.location));
        }
        checkGLError("Program.setVetextAttribPointer");
        return;
    }
    if (program == 0) {
        // A failed program reports its error on every call, as before.
        glGetAttribLocation(program, name);
        checkGLError("Program.setVetextAttribPointer");
    }
    if (std::memcmp(found->second.data, data, kBytes) != 0) {
        std::memcpy(found->second.data, data, kBytes);
        glBindBuffer(GL_ARRAY_BUFFER, attributeBuffers[name]);
        // New storage rather than an update: a draw still queued may read
        // the old data.
        glBufferData(GL_ARRAY_BUFFER, kBytes, data, GL_STATIC_DRAW);
        checkGLError("Set VBO and VAO");
    }
}

}  // namespace video
}  // namespace kelvo
