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
    if (vertexArray != 0) {
        glDeleteVertexArrays(1, &vertexArray);
        vertexArray = 0;
    }
    checkGLError("GLProgram.recycle 2");
    textureUnits.clear();
}

void GLProgram::setUniform1i(const char* name, int value) {
    glUseProgram(program);
    GLint location = glGetUniformLocation(program, name);
    if (location >= 0) {
        glUniform1i(location, value);
    }
    checkGLError("GLProgram.setUniform1i");
}

void GLProgram::setUniform1f(const char* name, float x) {
    glUseProgram(program);
    GLint location = glGetUniformLocation(program, name);
    if (location >= 0) {
        glUniform1f(location, x);
    }
    checkGLError("GLProgram.setUniform1f");
}

void GLProgram::setUniform2f(const char* name, float x, float y) {
    glUseProgram(program);
    GLint location = glGetUniformLocation(program, name);
    if (location >= 0) {
        glUniform2f(location, x, y);
    }
    checkGLError("GLProgram.setUniform2f");
}

void GLProgram::setUniform3f(const char* name, float x, float y, float z) {
    glUseProgram(program);
    GLint location = glGetUniformLocation(program, name);
    if (location >= 0) {
        glUniform3f(location, x, y, z);
    }
    checkGLError("GLProgram.setUniform3f");
}

void GLProgram::setUniform4f(const char* name, float x, float y, float z, float w) {
    glUseProgram(program);
    GLint location = glGetUniformLocation(program, name);
    if (location >= 0) {
        glUniform4f(location, x, y, z, w);
    }
    checkGLError("GLProgram.setUniform4f");
}

void GLProgram::setUniformfv(const char* name, const float* values, int count) {
    switch (count) {
    case 1: setUniform1f(name, values[0]); break;
    case 2: setUniform2f(name, values[0], values[1]); break;
    case 3: setUniform3f(name, values[0], values[1], values[2]); break;
    case 4: setUniform4f(name, values[0], values[1], values[2], values[3]); break;
    default: break;
    }
}

void GLProgram::setUniformMatrix3fv(const char* name, const float* values, bool transpose) {
    glUseProgram(program);
    GLint location = glGetUniformLocation(program, name);
    if (location >= 0) {
        glUniformMatrix3fv(location, 1, transpose ? GL_TRUE : GL_FALSE, values);
    }
    checkGLError("GLProgram.setUniformMatrix3fv");
}

void GLProgram::SetUniformTexture(const char* name, const std::shared_ptr<TextureBase>& texture) {
    glUseProgram(program);
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
    glClearColor(0.f, 0.f, 0.f, 0.f);
    glClear(GL_COLOR_BUFFER_BIT);
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

    auto found = attributeBuffers.find(name);
    if (found == attributeBuffers.end()) {
        GLuint buffer = 0;
        glGenBuffers(1, &buffer);
        found = attributeBuffers.emplace(name, buffer).first;
    }
    glBindBuffer(GL_ARRAY_BUFFER, found->second);
    glBufferData(GL_ARRAY_BUFFER, 8 * sizeof(float), data, GL_STATIC_DRAW);
    checkGLError("Set VBO and VAO");

    glUseProgram(program);
    GLint location = glGetAttribLocation(program, name);
    if (location >= 0) {
        glVertexAttribPointer(static_cast<GLuint>(location), 2, GL_FLOAT, GL_FALSE,
                              2 * sizeof(float), nullptr);
        glEnableVertexAttribArray(static_cast<GLuint>(location));
    }
    checkGLError("Program.setVetextAttribPointer");
}

}  // namespace video
}  // namespace kelvo
