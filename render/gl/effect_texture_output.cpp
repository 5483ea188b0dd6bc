#include "render/gl/effect_texture_output.h"

#include "gpu/default_programs.h"
#include "gpu/gl_fbo.h"

namespace kelvo {
namespace video {

EffectTextureOutput::EffectTextureOutput()
    : GLEffectBase(kEffectTypeTextureOutput, kEffectKindOutputConvertor),
      program(std::make_unique<BaseRenderProgram>()) {}

EffectTextureOutput::~EffectTextureOutput() = default;

void EffectTextureOutput::init() { program = std::make_unique<BaseRenderProgram>(); }

void EffectTextureOutput::release() { program.reset(); }

int EffectTextureOutput::Draw(std::shared_ptr<I420VideoFrame> frame) {
    if (!outputFBO || !frame) {
        return kDrawNoOutput;
    }
    if (!inputTexture) {
        return kDrawNoInputTexture;
    }
    if (!program) {
        return kDrawFailed;
    }
    outputFBO->bindFrameBuffer();
    glClear(GL_COLOR_BUFFER_BIT);
    program->SetUniformTexture("basetex", inputTexture);
    program->draw();
    inputTexture->unbind(program->textureUnits["basetex"]);
    outputFBO->unbindFrameBuffer();
    return kDrawDone;
}

}  // namespace video
}  // namespace kelvo
