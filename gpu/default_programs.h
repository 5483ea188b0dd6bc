// The fixed copy programs and the shared vertex shader.
#pragma once

#include "gpu/gl_program.h"

namespace kelvo {
namespace video {

// "#version 330" pass-through of aPosition (location 0) and aTextureCoord
// (location 1) to vTextureCoord. Shared by every full-screen-quad program.
extern const char* const kDefaultVertexShader;
// Copies sampler2D "basetex" at vTextureCoord to FragColor.
extern const char* const kDefaultFragmentShader;
// OpenGL ES external-image copy (samplerExternalOES "tex"); has no version
// line and does not compile on desktop GL.
extern const char* const kOESFragmentShader;

// Plain copy pass: SetUniformTexture("basetex", t), then draw().
class BaseRenderProgram : public GLProgram {
public:
    BaseRenderProgram();
};

// External-image copy pass. On desktop GL its shader is rejected: the
// program name is 0 and the compile/link logs are printed.
class OESProgram : public GLProgram {
public:
    OESProgram();
};

}  // namespace video
}  // namespace kelvo
