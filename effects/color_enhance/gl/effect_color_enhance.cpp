#include "effects/color_enhance/gl/effect_color_enhance.h"

#include "effects/color_enhance/gl/gpu_color_enhance_program.h"
#include "effects/lut_loader.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"

namespace kelvo {
namespace video {

EffectColorEnhance::EffectColorEnhance()
    : GLEffectBase(kEffectTypeColorEnhance, kEffectKindGPUFilter),
      lowChromaGain_(colorEnhanceLowChromaGain()) {
    init();
}

EffectColorEnhance::~EffectColorEnhance() = default;

void EffectColorEnhance::init() {
    program_.reset();
    program_ = std::make_unique<GPUColorEnhanceProgram>();
    if (skinTable_) {
        return;
    }
    std::shared_ptr<ARGBFrame> frame = loadLutTable(kSkinLutId);
    if (!frame || frame->empty()) {
        return;
    }
    auto table = std::make_shared<GLTexture>();
    table->Load(frame->data(), 0, frame->width(), frame->height(), GL_RGBA);
    table->unbind(0);
    skinTable_ = std::move(table);
}

void EffectColorEnhance::release() { program_.reset(); }

void EffectColorEnhance::setSkinTable(std::shared_ptr<GLTexture> table) {
    skinTable_ = std::move(table);
}

int EffectColorEnhance::Draw(std::shared_ptr<I420VideoFrame> /*frame*/) {
    if (!outputFBO) {
        return kDrawNoOutput;
    }
    if (!inputTexture) {
        return kDrawNoInputTexture;
    }
    if (!enabled) {
        return kDrawDisabled;
    }
    if (!program_) {
        return kDrawFailed;
    }

    outputFBO->bindFrameBuffer();
    program_->setSrcTexture(inputTexture);
    // Without a table the sampler reads whatever unit 0 holds;
    // colorEnhanceSuppress withholds nothing then, which makes that value
    // irrelevant, i.e. a skin weight of 0.
    if (skinTable_) program_->setSkinLut(skinTable_);
    const float suppress = colorEnhanceSuppress(skinTable_ != nullptr, skinProtect_);
    program_->setColorStep(strength_);
    program_->setSuppressCoef(suppress);
    program_->setCurve(threshold_, gamma_, lowChromaGain_);
    program_->setMaxRange(chromaRange_);
    program_->draw();
    outputFBO->unbindFrameBuffer();
    return kDrawDone;
}

}  // namespace video
}  // namespace kelvo
