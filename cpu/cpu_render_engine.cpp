#include "cpu/cpu_render_engine.h"

#include <utility>

#include "frame/i420_video_frame.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

CpuRenderEngine::CpuRenderEngine(EffectFactory factory, int threads)
    : RenderEngine(std::move(factory)), pool_(threads) {}

namespace {

CpuImageEffect* imageEffect(EffectBase* effect) {
    return !effect || effect->effectKind == kEffectKindCPU ? nullptr
                                                           : dynamic_cast<CpuImageEffect*>(effect);
}

// The effect the chain draws after `effect`.
EffectBase* nextEnabled(const EffectBase& effect) {
    EffectBase* next = effect.nextEffect.get();
    while (next && !next->enabled) next = next->nextEffect.get();
    return next;
}

}  // namespace

void CpuRenderEngine::catchUp() {
    CpuImageEffect* effect = handedOn_;
    handedOn_ = nullptr;
    if (!effect) return;
    // The current image is one of the engine's own, of the frame's size, on
    // which a pass that drew on it as input cannot fail.
    for (auto& image : images_) {
        if (image.data() == current_.data)
            effect->runInPlace({image.data(), current_.stride, width_, height_});
    }
}

bool CpuRenderEngine::handOver(EffectBase& effect, int output) {
    effect.rowSplitter = &pool_;
    CpuImageEffect* image = imageEffect(&effect);
    // A pass handed on reaches the picture by the effect it was handed to
    // or, where that one did not draw, here.
    const ColourFunction* before = nullptr;
    if (handedOn_) {
        if (image && image->composesPointFunction()) {
            before = handedOn_->pointFunction();
        } else {
            catchUp();
        }
    }
    if (!image) return false;
    // Each handed-on effect leaves the chain's turns one step off ours.
    if (turned_) output = 1 - output;
    image->input = current_;
    image->output = ImageRGBA8{images_[output].data(), 4 * width_, width_, height_};
    image->pool = &pool_;
    image->before = before;
    image->handOn = false;
    if (!before && image->pointFunction()) {
        CpuImageEffect* next = imageEffect(nextEnabled(effect));
        image->handOn = next && next->composesPointFunction();
    }
    return true;
}

void CpuRenderEngine::adoptOutput(EffectBase& effect, bool readBack) {
    if (readBack) return;
    auto& image = static_cast<CpuImageEffect&>(effect);
    if (image.handOn) {
        handedOn_ = &image;
        turned_ = !turned_;
        return;
    }
    if (image.before) handedOn_ = nullptr;
    const ImageRGBA8& output = image.output;
    current_ = {output.data, output.stride, output.width, output.height};
}

bool CpuRenderEngine::process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput) {
    if (!frame || chain_.empty() || textureInput) return false;
    width_ = frame->width();
    height_ = frame->height();
    if (width_ <= 0 || height_ <= 0) return false;
    const size_t bytes = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
    // Grown only: a stable size allocates nothing.
    for (auto& image : images_) {
        if (image.size() < bytes) image.resize(bytes);
    }
    current_ = {nullptr, 0, 0, 0};
    handedOn_ = nullptr;
    turned_ = false;
    chain_.run(frame, *this, effectObserver_);
    // Nothing reads the picture after the chain; it is left whole anyway.
    catchUp();
    return true;
}

}  // namespace video
}  // namespace kelvo
