#include "effects/lowlight/gl/effect_lowlight_enhance.h"

#include "detect/metadata_frame_stats.h"
#include "effects/lowlight/gl/gpu_lowlight_enhance_program.h"
#include "frame/i420_video_frame.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"

namespace kelvo {
namespace video {

EffectLowlightEnhance::EffectLowlightEnhance()
    : GLEffectBase(kEffectTypeLowlightEnhance, kEffectKindGPUFilter) {
    init();
}

EffectLowlightEnhance::~EffectLowlightEnhance() = default;

void EffectLowlightEnhance::init() {
    program_.reset();
    program_ = std::make_unique<GPULowlightEnhanceProgram>();
    lastLogMean_ = kLowlightNoLogMean;
    mode_ = 0;
    level_ = 0;
    darkScene_ = false;
    strength_ = LowlightStrength();
}

void EffectLowlightEnhance::release() { program_.reset(); }

int EffectLowlightEnhance::Draw(std::shared_ptr<I420VideoFrame> frame) {
    if (!outputFBO || !inputTexture) {
        return kDrawNoOutput;
    }
    if (!enabled) {
        return kDrawDisabled;
    }
    const int decision = lowlightDrawDecision(mode_, darkScene_, frame, &lastLogMean_, &strength_);
    if (decision != kDrawDone) {
        return decision;
    }
    if (!program_) {
        return kDrawFailed;
    }

    outputFBO->bindFrameBuffer();
    program_->setSrcTexture(inputTexture);
    // A wrapped texture may not know its size; the output has the frame's.
    const int width = inputTexture->width > 0 ? inputTexture->width : outputFBO->width;
    const int height = inputTexture->height > 0 ? inputTexture->height : outputFBO->height;
    program_->setOffset(width > 0 ? 1.0f / static_cast<float>(width) : 0.0f,
                        height > 0 ? 1.0f / static_cast<float>(height) : 0.0f);
    program_->setLogMean(lastLogMean_);
    program_->setShape(strength_.shape());
    program_->draw();
    outputFBO->unbindFrameBuffer();
    return kDrawDone;
}

}  // namespace video
}  // namespace kelvo
