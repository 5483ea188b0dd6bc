#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <string>

#include "effects/shader_constants.h"

namespace kelvo::video {
namespace {

uint32_t bitsOf(float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Every float a model hands to GLSL must come back bit for bit, and read as
// a float literal (a bare "90" would be an int in GLSL).
TEST(ShaderConstants, FloatTextReadsBackExactly) {
    const float values[] = {0.1111f, 7.07f,        0.039216f,   0.9f,       90.0f,        1.0f,
                            0.0f,    -0.055f,      1e-6f,       14.631272f, 0.123046875f, FLT_MIN,
                            FLT_MAX, FLT_TRUE_MIN, 1.0f / 3.0f, 16777217.0f};
    for (float v : values) {
        const std::string text = shaderFloat(v);
        SCOPED_TRACE(text);
        EXPECT_EQ(bitsOf(std::strtof(text.c_str(), nullptr)), bitsOf(v));
        EXPECT_NE(text.find_first_of(".e"), std::string::npos);
        EXPECT_EQ(text.find(','), std::string::npos);
    }
    EXPECT_EQ(shaderFloat(0.1111f), "0.1111");  // shortest, as a reader would write it
}

TEST(ShaderConstants, BlockFollowsVersionAndPrecision) {
    struct Case {
        const char* source;
        const char* expected;
    };
    const Case cases[] = {
        {"#version 330\nvoid main() {}\n",
         "#version 330\n// c\nconst float k = 0.5;\nvoid main() {}\n"},
        {"#version 330 core\nprecision mediump float;\nin vec2 uv;\n",
         "#version 330 core\nprecision mediump float;\n// c\nconst float k = 0.5;\nin vec2 uv;\n"},
        {"void main() {}\n", "// c\nconst float k = 0.5;\nvoid main() {}\n"},
        {"#version 330", "#version 330\n// c\nconst float k = 0.5;\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(withShaderConstants(c.source, "c", {{"k", 0.5f}}), c.expected);
    }
}

}  // namespace
}  // namespace kelvo::video
