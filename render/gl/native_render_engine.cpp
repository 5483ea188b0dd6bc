#include "render/gl/native_render_engine.h"

#include <epoxy/gl.h>

#include <utility>

#include "frame/i420_video_frame.h"
#include "gpu/framebuffer_cache.h"
#include "gpu/gl_check.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"
#include "render/gl/gl_effect_base.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

namespace {

bool isGPUKind(int kind) {
    return kind == kEffectKindGPUFilter || kind == kEffectKindInputConvertor ||
           kind == kEffectKindOutputConvertor;
}

}  // namespace

NativeRenderEngine::NativeRenderEngine(EffectFactory factory) : RenderEngine(std::move(factory)) {}

NativeRenderEngine::~NativeRenderEngine() {
    inputTexture_.reset();
    current_.reset();
    lastOutput_.reset();
    effectObserver_ = nullptr;
    chain_.clear();
    for (auto& framebuffer : pingPong_) {
        if (framebuffer) {
            framebuffer->dropUse();
            framebuffer.reset();
        }
    }
    FramebufferCache::instance()->purge();
}

bool NativeRenderEngine::handOver(EffectBase& effect, int output) {
    GPUEffectBase* gpu =
        isGPUKind(effect.effectKind) ? dynamic_cast<GPUEffectBase*>(&effect) : nullptr;
    if (!gpu) return false;
    gpu->setInputTexture(current_);
    gpu->setOutputFBO(pingPong_[output]);
    return true;
}

void NativeRenderEngine::adoptOutput(EffectBase& effect, bool) {
    current_ = static_cast<GPUEffectBase&>(effect).outputTexture();
}

bool NativeRenderEngine::failed() const { return glFailureCount() != failuresBefore_; }

void NativeRenderEngine::releaseFrameResources(int width, int height) {
    // Kept, they would hold the memory that ran out, and a framebuffer that
    // never completed would come back from the pool.
    for (auto& framebuffer : pingPong_) {
        if (framebuffer) {
            framebuffer->UnInitFBO();
            framebuffer.reset();
        }
    }
    current_.reset();
    lastOutput_.reset();
    FramebufferCache::instance()->releaseSize(width, height);
}

bool NativeRenderEngine::process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput) {
    if (!frame || chain_.empty()) {
        return false;
    }
    const int w = frame->width();
    const int h = frame->height();
    // Storage the driver could not make fails the frame, rather than hand on
    // a picture that was never drawn. Errors already pending (a caller's) are
    // reported first, so that they are not taken for ours.
    checkGLError("process begin");
    failuresBefore_ = glFailureCount();

    // Both, or the second is missing after an acquire that threw.
    if (!pingPong_[0] || !pingPong_[1] || pingPong_[0]->width != w || pingPong_[0]->height != h) {
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

    current_ = inputTexture_;
    chain_.run(frame, *this, effectObserver_);
    if (failed()) {
        releaseFrameResources(w, h);
        return false;
    }

    if (current_) {
        frame->textureId = static_cast<int>(current_->textureId);
        frame->textureType = current_->textureType;
        lastOutput_ = current_;
    }
    // The output texture may be read from another context. A buffer's
    // readback has already waited for all of the work.
    if (textureInput) {
        glFlush();
    }
    return true;
}

}  // namespace video
}  // namespace kelvo
