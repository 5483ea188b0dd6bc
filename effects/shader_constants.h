// Constants handed from an effect's model to its GLSL, so a number the CPU
// rows also use is written once, in C++ (as libplacebo writes its colour
// math into the shaders it generates). GL-free.
#pragma once

#include <initializer_list>
#include <string>

namespace kelvo::video {

struct ShaderConstant {
    const char* name;
    float value;
};

// Decimal text of a finite `value` that a correctly rounding parser reads
// back as the same float: the shortest such text, independent of the
// locale, always with a point or an exponent so GLSL takes it for a float.
std::string shaderFloat(float value);

// `source` with a block inserted after its "#version" line and any
// "precision" statements that directly follow it: "// " + `comment`, then
// one "const float name = value;" line per constant, in order. A source
// without a leading "#version" line gets the block at its start.
std::string withShaderConstants(const char* source, const char* comment,
                                std::initializer_list<ShaderConstant> constants);

}  // namespace kelvo::video
