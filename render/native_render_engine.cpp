#include "render/native_render_engine.h"

#include <epoxy/gl.h>

#include "denoise/effect_video_denoiser.h"
#include "effects/effect_color_enhance.h"
#include "effects/effect_gpu_beauty.h"
#include "effects/effect_lowlight_enhance.h"
#include "frame/i420_video_frame.h"
#include "gpu/framebuffer_cache.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"
#include "render/effect_base.h"
#include "render/effect_oes_convertor.h"
#include "render/effect_types.h"
#include "render/effect_texture_output.h"
#include "render/effect_yuv_input_convertor.h"
#include "render/effect_yuv_output_convertor.h"

namespace kelvo {
namespace video {

namespace {

bool isGPUKind(int kind) {
    return kind == kEffectKindGPUFilter || kind == kEffectKindInputConvertor ||
           kind == kEffectKindOutputConvertor;
}

std::shared_ptr<EffectBase> createEffect(int type) {
    switch (type) {
        case kEffectTypeVideoDenoiser: return std::make_shared<EffectVideoDenoiser>();
        case kEffectTypeOESConvertor: return std::make_shared<EffectOESConvertor>();
        case kEffectTypeYUVInputConvertor: return std::make_shared<EffectYUVInputConvertor>();
        case kEffectTypeBeauty: return std::make_shared<EffectGPUBeauty>();
        case kEffectTypeColorEnhance: return std::make_shared<EffectColorEnhance>();
        case kEffectTypeLowlightEnhance: return std::make_shared<EffectLowlightEnhance>();
        case 900: return std::make_shared<EffectTextureOutput>();
        case kEffectTypeYUVOutputConvertor: return std::make_shared<EffectYUVOutputConvertor>();
        default: return nullptr;
    }
}

void dropChain(std::list<std::shared_ptr<EffectBase>>& chain) {
    for (auto& effect : chain) {
        effect->release();
    }
    // The links are shared both ways; without unlinking, dropped effects
    // would keep each other alive.
    for (auto& effect : chain) {
        effect->unlink();
    }
    chain.clear();
}

}  // namespace

NativeRenderEngine::NativeRenderEngine() = default;

NativeRenderEngine::~NativeRenderEngine() {
    inputTexture_.reset();
    lastOutput_.reset();
    effectObserver_ = nullptr;
    dropChain(chain_);
    for (auto& framebuffer : pingPong_) {
        if (framebuffer) {
            framebuffer->dropUse();
            framebuffer.reset();
        }
    }
    FramebufferCache::instance()->purge();
    byType_.clear();
}

void NativeRenderEngine::setEffects(const std::vector<int>& types) {
    if (types.empty()) {
        return;
    }
    dropChain(chain_);
    byType_.clear();
    for (int type : types) {
        addEffect(type);
    }
    std::shared_ptr<EffectBase> previous;
    for (auto& effect : chain_) {
        effect->prevEffect = previous;
        if (previous) {
            previous->nextEffect = effect;
        }
        previous = effect;
    }
}

int NativeRenderEngine::addEffect(int type) {
    std::shared_ptr<EffectBase> effect = createEffect(type);
    if (!effect) {
        return -5;
    }
    byType_.emplace(type, effect);
    chain_.push_back(std::move(effect));
    return 0;
}

std::shared_ptr<EffectBase> NativeRenderEngine::effect(int type) const {
    auto entry = byType_.find(type);
    return entry == byType_.end() ? nullptr : entry->second.lock();
}

template <class Effect>
std::shared_ptr<Effect> NativeRenderEngine::find(int type) const {
    return std::dynamic_pointer_cast<Effect>(effect(type));
}

bool NativeRenderEngine::process(const std::shared_ptr<I420VideoFrame>& frame,
                                 bool textureInput) {
    if (!frame || chain_.empty()) {
        return false;
    }
    const int w = frame->width();
    const int h = frame->height();

    if (!pingPong_[0] || pingPong_[0]->width != w || pingPong_[0]->height != h) {
        for (auto& framebuffer : pingPong_) {
            if (framebuffer) {
                framebuffer->dropUse();
            }
        }
        pingPong_[0] = FramebufferCache::instance()->acquire(w, h);
        pingPong_[1] = FramebufferCache::instance()->acquire(w, h);
    }

    if (textureInput) {
        const GLuint name = static_cast<GLuint>(frame->textureId);
        if (inputWidth_ != w || inputHeight_ != h || !inputTexture_ ||
            inputTexture_->textureId != name) {
            inputWidth_ = w;
            inputHeight_ = h;
            inputTexture_ = std::make_shared<GLTexture>(name, frame->textureType, w, h);
        }
    }

    std::shared_ptr<TextureBase> current = inputTexture_;
    int index = 0;
    for (auto& effect : chain_) {
        if (!effect->enabled) {
            continue;
        }
        GPUEffectBase* gpu =
            isGPUKind(effect->effectKind) ? dynamic_cast<GPUEffectBase*>(effect.get()) : nullptr;
        const bool readsBack = effect->effectType == kEffectTypeYUVOutputConvertor;
        if (gpu) {
            gpu->setInputTexture(current);
            gpu->setOutputFBO(pingPong_[readsBack ? (index + 1) % 2 : index]);
        }
        const int status = effect->Draw(frame);
        if (effectObserver_) {
            effectObserver_->onEffectResult(status, publicEffectId(effect->effectType));
        }
        if (status == 0 && gpu) {
            current = gpu->outputTexture();
            if (!readsBack) {
                index = (index + 1) % 2;
            }
        }
    }

    if (current) {
        frame->textureId = static_cast<int>(current->textureId);
        frame->textureType = current->textureType;
        lastOutput_ = current;
    }
    // The output texture may be read from another context. A buffer's
    // readback has already waited for all of the work.
    if (textureInput) {
        glFlush();
    }
    return true;
}

void NativeRenderEngine::setBeautyEnable(bool enable) {
    if (auto e = effect(kEffectTypeBeauty)) e->setEnable(enable);
}
void NativeRenderEngine::setBeautySmoothness(float value) {
    if (auto e = find<EffectGPUBeauty>(kEffectTypeBeauty)) e->setSmoothness(value);
}
void NativeRenderEngine::setBeautyLightness(float value) {
    if (auto e = find<EffectGPUBeauty>(kEffectTypeBeauty)) e->setLightness(value);
}
void NativeRenderEngine::setBeautyRedness(float value) {
    if (auto e = find<EffectGPUBeauty>(kEffectTypeBeauty)) e->setRedness(value);
}
void NativeRenderEngine::setBeautyContrast(int value) {
    if (auto e = find<EffectGPUBeauty>(kEffectTypeBeauty)) e->setContrast(value);
}
void NativeRenderEngine::setBeautySharpness(float value) {
    if (auto e = find<EffectGPUBeauty>(kEffectTypeBeauty)) e->setSharpness(value);
}
void NativeRenderEngine::setBeautyLightStrength(float value) {
    if (auto e = find<EffectGPUBeauty>(kEffectTypeBeauty)) e->setLightStrength(value);
}
void NativeRenderEngine::setBeautyNoiseLevel(int value) {
    if (auto e = find<EffectGPUBeauty>(kEffectTypeBeauty)) e->setNoiseLevel(value);
}

void NativeRenderEngine::setColorEnhanceEnable(bool enable) {
    if (auto e = effect(kEffectTypeColorEnhance)) e->setEnable(enable);
}
void NativeRenderEngine::setColorEnhanceStrength(float value) {
    if (auto e = find<EffectColorEnhance>(kEffectTypeColorEnhance)) e->setStrength(value);
}
void NativeRenderEngine::setColorEnhanceSkinProtect(float value) {
    if (auto e = find<EffectColorEnhance>(kEffectTypeColorEnhance)) e->setSkinProtect(value);
}

void NativeRenderEngine::setLowlightEnhanceEnable(bool enable) {
    if (auto e = effect(kEffectTypeLowlightEnhance)) e->setEnable(enable);
}
void NativeRenderEngine::setLowlightEnhanceMode(int mode) {
    if (auto e = find<EffectLowlightEnhance>(kEffectTypeLowlightEnhance)) e->setMode(mode);
}
void NativeRenderEngine::setLowlightEnhanceLevel(int level) {
    if (auto e = find<EffectLowlightEnhance>(kEffectTypeLowlightEnhance)) e->setLevel(level);
}
void NativeRenderEngine::setLowlightDarkScene(bool dark) {
    if (auto e = find<EffectLowlightEnhance>(kEffectTypeLowlightEnhance)) e->setDarkScene(dark);
}

void NativeRenderEngine::setVideoDenoiserEnable(bool enable) {
    auto e = find<EffectVideoDenoiser>(kEffectTypeVideoDenoiser);
    if (!e) {
        return;
    }
    // A reference from before the switch would be blended into the next frame.
    if (e->enabled != enable) {
        e->dropReference();
    }
    e->setEnable(enable);
}
void NativeRenderEngine::setVideoDenoiserMode(int mode) {
    if (auto e = find<EffectVideoDenoiser>(kEffectTypeVideoDenoiser)) e->setMode(mode);
}
void NativeRenderEngine::setVideoDenoiserLevel(int level) {
    if (auto e = find<EffectVideoDenoiser>(kEffectTypeVideoDenoiser)) e->setLevel(level);
}
void NativeRenderEngine::setVideoDenoiserAutoNoisy(bool noisy) {
    if (auto e = find<EffectVideoDenoiser>(kEffectTypeVideoDenoiser)) e->setAutoTrigger(noisy);
}

}  // namespace video
}  // namespace kelvo
