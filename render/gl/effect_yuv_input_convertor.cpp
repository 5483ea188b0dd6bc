#include "render/gl/effect_yuv_input_convertor.h"

#include "frame/i420_video_frame.h"
#include "gpu/gl_fbo.h"
#include "render/gl/yuv_convert_program.h"

namespace kelvo {
namespace video {

EffectYUVInputConvertor::EffectYUVInputConvertor()
    : GLEffectBase(kEffectTypeYUVInputConvertor, kEffectKindInputConvertor),
      program(std::make_unique<YUVConvertProgram>()) {}

EffectYUVInputConvertor::~EffectYUVInputConvertor() = default;

void EffectYUVInputConvertor::init() {
    program = std::make_unique<YUVConvertProgram>();
}

void EffectYUVInputConvertor::release() {
    program.reset();
}

int EffectYUVInputConvertor::Draw(std::shared_ptr<I420VideoFrame> frame) {
    if (!outputFBO || !frame) {
        return kDrawNoOutput;
    }
    if (!enabled) {
        return kDrawDisabled;
    }
    if (!program || !program->UpdateTextures(frame)) {
        return kDrawFailed;
    }
    outputFBO->bindFrameBuffer();
    program->draw();
    outputFBO->unbindFrameBuffer();
    return kDrawDone;
}

}  // namespace video
}  // namespace kelvo
