#include "gpu/default_programs.h"

namespace kelvo {
namespace video {

const char* const kDefaultVertexShader =
    "#version 330\n"
    "layout (location = 0) in vec4 aPosition;\n"
    "layout (location = 1) in vec2 aTextureCoord;\n"
    "out vec2 vTextureCoord;\n"
    "void main()\n"
    "{\n"
    "    gl_Position = aPosition;\n"
    "    vTextureCoord = aTextureCoord;\n"
    "}\n";

const char* const kDefaultFragmentShader =
    "#version 330\n"
    "precision mediump float; \n"
    "in vec2 vTextureCoord; \n"
    "out vec4 FragColor; \n"
    "uniform sampler2D basetex; \n"
    "void main()\n"
    "{\n"
    "    FragColor = texture(basetex, vTextureCoord);\n"
    "}\n";

const char* const kOESFragmentShader =
    "#extension GL_OES_EGL_image_external : require\n"
    "precision mediump float;\n"
    "uniform samplerExternalOES tex;\n"
    "varying vec2 vTextureCoord;\n"
    "void main()\n"
    "{\n"
    "    gl_FragColor = texture2D(tex, vTextureCoord);\n"
    "}\n";

BaseRenderProgram::BaseRenderProgram() : GLProgram(kDefaultVertexShader, kDefaultFragmentShader) {}

OESProgram::OESProgram() : GLProgram(kDefaultVertexShader, kOESFragmentShader) {}

}  // namespace video
}  // namespace kelvo
