#include "render/gl/effect_oes_convertor.h"

#include "gpu/default_programs.h"
#include "gpu/gl_check.h"
#include "gpu/gl_fbo.h"

namespace kelvo {
namespace video {

EffectOESConvertor::EffectOESConvertor()
    : GLEffectBase(kEffectTypeOESConvertor, kEffectKindInputConvertor), program(new OESProgram()) {}

EffectOESConvertor::~EffectOESConvertor() = default;

void EffectOESConvertor::init() { program.reset(new OESProgram()); }

void EffectOESConvertor::release() { program.reset(); }

int EffectOESConvertor::Draw(std::shared_ptr<I420VideoFrame> frame) {
    if (!outputFBO || !frame) {
        return kDrawNoOutput;
    }
    if (!inputTexture || inputTexture->textureType != kTextureExternalOES) {
        return kDrawBadInputTexture;
    }
    // Released effects have no program; drawing with none would dereference null.
    if (!program) {
        return kDrawFailed;
    }
    outputFBO->bindFrameBuffer();
    checkGLError("EffectOESConvertor::Draw 1");
    glClear(GL_COLOR_BUFFER_BIT);
    program->SetUniformTexture("tex", inputTexture);
    program->draw();
    checkGLError("EffectOESConvertor::Draw 2");
    outputFBO->unbindFrameBuffer();
    return kDrawDone;
}

}  // namespace video
}  // namespace kelvo
