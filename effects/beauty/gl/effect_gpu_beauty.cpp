#include "effects/beauty/gl/effect_gpu_beauty.h"

#include "effects/beauty/beauty_model.h"

#include <algorithm>
#include <cmath>

#include "effects/beauty/gl/gpu_beauty_programs.h"
#include "effects/lut_loader.h"
#include "gpu/framebuffer_cache.h"
#include "gpu/gl_check.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"

namespace kelvo {
namespace video {

EffectGPUBeauty::EffectGPUBeauty() : GLEffectBase(kEffectTypeBeauty, kEffectKindGPUFilter) {
    init();
}

EffectGPUBeauty::~EffectGPUBeauty() { releaseHalfFramebuffers(); }

void EffectGPUBeauty::init() {
    soften1Program_ = std::make_unique<GPUBeautySoften1Program>();
    soften2Program_ = std::make_unique<GPUBeautySoften2Program>();
    edgeSoftenProgram_ = std::make_unique<GPUBeautyEdgeSoftenProgram>();
    mixProgram_ = std::make_unique<GPUBeautyMixAllProgram>();
    selectiveMixProgram_.reset();
    loadTables();
}

void EffectGPUBeauty::release() {
    soften1Program_.reset();
    soften2Program_.reset();
    edgeSoftenProgram_.reset();
    mixProgram_.reset();
    selectiveMixProgram_.reset();
}

void EffectGPUBeauty::setTables(std::shared_ptr<GLTexture> whiten,
                                std::shared_ptr<GLTexture> ruddy) {
    whitenTable_ = std::move(whiten);
    ruddyTable_ = std::move(ruddy);
}

// A failure on the whitening table leaves the ruddy one unloaded as well:
// the gradings need both.
void EffectGPUBeauty::loadTables() {
    std::shared_ptr<GLTexture>* slots[] = {&whitenTable_, &ruddyTable_};
    const int ids[] = {kWhiteningLutId, kRuddyLutId};
    for (int i = 0; i < 2; ++i) {
        if (*slots[i]) continue;
        std::shared_ptr<ARGBFrame> table = loadLutTable(ids[i]);
        if (!table || table->empty()) return;
        auto texture = std::make_shared<GLTexture>();
        texture->Load(table->data(), 0, kLutImageSize, kLutImageSize, GL_RGBA);
        texture->unbind(0);
        *slots[i] = std::move(texture);
    }
}

void EffectGPUBeauty::releaseHalfFramebuffers() {
    FramebufferCache* cache = FramebufferCache::instance();
    if (fboA_) cache->giveBack(std::move(fboA_));
    if (fboB_) cache->giveBack(std::move(fboB_));
    fboA_.reset();
    fboB_.reset();
}

int EffectGPUBeauty::Draw(std::shared_ptr<I420VideoFrame> frame) {
    // An output without size (never initialised) is no output at all.
    if (!outputFBO || !frame || outputFBO->width <= 0 || outputFBO->height <= 0) {
        return kDrawNoOutput;
    }
    if (!enabled) return kDrawDisabled;

    const int width = outputFBO->width;
    const int height = outputFBO->height;
    // At least one texel, so a one-pixel-wide output does not divide by zero.
    const int w2 = beautyHalfSize(width);
    const int h2 = beautyHalfSize(height);
    if (!fboA_ || !fboB_ || fboA_->width != w2 || fboA_->height != h2) {
        releaseHalfFramebuffers();
        FramebufferCache* cache = FramebufferCache::instance();
        fboA_ = cache->acquire(w2, h2);
        fboB_ = cache->acquire(w2, h2);
    }

    if (!inputTexture) return kDrawNoInputTexture;
    auto input = std::dynamic_pointer_cast<GLTexture>(inputTexture);
    if (!input) return kDrawBadInputTexture;
    if (!mixProgram_) return kDrawFailed;  // released and not re-initialised

    const float halfStepX = 1.0f / static_cast<float>(w2);
    const float halfStepY = 1.0f / static_cast<float>(h2);

    // Each pass binds its own target; only the last one unbinds.
    fboA_->bindFrameBuffer();
    soften1Program_->setSrcTexture(input);
    soften1Program_->setTexBlurOffset(0.0f, halfStepY);
    soften1Program_->draw();
    checkGLError("EffectGPUBeauty::Draw 1");

    fboB_->bindFrameBuffer();
    soften2Program_->setSoftenTextures(input, fboA_->texture);
    soften2Program_->setTexBlurOffset(halfStepX, 0.0f);
    soften2Program_->draw();
    checkGLError("EffectGPUBeauty::Draw 2");

    fboA_->bindFrameBuffer();
    edgeSoftenProgram_->setVarTexture(fboB_->texture);
    edgeSoftenProgram_->setTexBlurOffset(halfStepX, 0.0f);
    edgeSoftenProgram_->draw();
    checkGLError("EffectGPUBeauty::Draw 3");

    fboB_->bindFrameBuffer();
    edgeSoftenProgram_->setVarTexture(fboA_->texture);
    edgeSoftenProgram_->setTexBlurOffset(0.0f, halfStepY);
    edgeSoftenProgram_->draw();
    checkGLError("EffectGPUBeauty::Draw 4");

    GPUBeautyMixAllProgram* mixProgram = mixProgram_.get();
    if (level_ == kBeautyLevelSelective) {
        if (!selectiveMixProgram_)
            selectiveMixProgram_ = std::make_unique<GPUBeautySelectiveMixProgram>();
        mixProgram = selectiveMixProgram_.get();
    }
    const BeautyMixSettings mix =
        beautyMixSettings(smoothness_, sharpness_, redness_, lightness_, noiseLevel_);
    mixProgram->setSharpen(mix.sharpen);
    outputFBO->bindFrameBuffer();
    mixProgram->setMixTextures(input, fboB_->texture, whitenTable_, ruddyTable_);
    mixProgram->setOffset(1.0f / static_cast<float>(width), 1.0f / static_cast<float>(height));
    mixProgram->setBlurAlpha(mix.blurAlpha);
    mixProgram->setContrast(static_cast<float>(contrast_));
    mixProgram->setLightStrength(lightStrength_);
    mixProgram->setNoiseLevel(noiseLevel_);
    mixProgram->setRuddyDegree(mix.ruddyDegree);
    mixProgram->setWhiteDegree(mix.whiteDegree);
    mixProgram->setFrequencyRange();
    mixProgram->setEnableLut(whitenTable_ && ruddyTable_ ? 1 : 0);
    mixProgram->draw();
    outputFBO->unbindFrameBuffer();
    checkGLError("EffectGPUBeauty::Draw 5");
    return kDrawDone;
}

}  // namespace video
}  // namespace kelvo
