#include "render/native_render_engine.h"

#include <epoxy/gl.h>

#include <utility>

#include "frame/i420_video_frame.h"
#include "gpu/framebuffer_cache.h"
#include "gpu/gl_check.h"
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

std::shared_ptr<EffectBase> createGLConvertor(int type) {
    switch (type) {
        case kEffectTypeOESConvertor: return std::make_shared<EffectOESConvertor>();
        case kEffectTypeYUVInputConvertor: return std::make_shared<EffectYUVInputConvertor>();
        case kEffectTypeTextureOutput: return std::make_shared<EffectTextureOutput>();
        case kEffectTypeYUVOutputConvertor: return std::make_shared<EffectYUVOutputConvertor>();
        default: return nullptr;
    }
}

NativeRenderEngine::NativeRenderEngine(EffectFactory factory) : factory_(std::move(factory)) {}

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
    std::shared_ptr<EffectBase> effect = factory_ ? factory_(type) : nullptr;
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

bool NativeRenderEngine::process(const std::shared_ptr<I420VideoFrame>& frame,
                                 bool textureInput) {
    if (!frame || chain_.empty()) {
        return false;
    }
    const int w = frame->width();
    const int h = frame->height();
    // Storage the driver could not make fails the frame, rather than hand on
    // a picture that was never drawn. Errors already pending (a caller's) are
    // reported first, so that they are not taken for ours.
    checkGLError("process begin");
    const unsigned failuresBefore = glFailureCount();

    // Both, or the second is missing after an acquire that threw.
    if (!pingPong_[0] || !pingPong_[1] || pingPong_[0]->width != w ||
        pingPong_[0]->height != h) {
        for (auto& framebuffer : pingPong_) {
            if (framebuffer) {
                framebuffer->dropUse();
                framebuffer.reset();
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
        if (glFailureCount() != failuresBefore) {
            releaseFrameResources(w, h);
            return false;
        }
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

    if (glFailureCount() != failuresBefore) {
        releaseFrameResources(w, h);
        return false;
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

void NativeRenderEngine::releaseFrameResources(int width, int height) {
    // Kept, they would hold the memory that ran out, and a framebuffer that
    // never completed would come back from the pool.
    for (auto& framebuffer : pingPong_) {
        if (framebuffer) {
            framebuffer->UnInitFBO();
            framebuffer.reset();
        }
    }
    lastOutput_.reset();
    FramebufferCache::instance()->releaseSize(width, height);
}

}  // namespace video
}  // namespace kelvo
