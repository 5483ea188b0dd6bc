#include "cpu/cpu_render_engine.h"

#include <utility>

#include "frame/i420_video_frame.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

namespace {

void dropChain(std::list<std::shared_ptr<EffectBase>>& chain) {
    // The links are shared both ways; without unlinking, dropped effects
    // would keep each other alive.
    for (auto& effect : chain) effect->unlink();
    chain.clear();
}

}  // namespace

CpuRenderEngine::CpuRenderEngine(EffectFactory factory, int threads)
    : factory_(std::move(factory)), pool_(threads) {}

CpuRenderEngine::~CpuRenderEngine() { dropChain(chain_); }

void CpuRenderEngine::setEffects(const std::vector<int>& types) {
    if (types.empty()) return;
    dropChain(chain_);
    byType_.clear();
    std::shared_ptr<EffectBase> previous;
    for (int type : types) {
        std::shared_ptr<EffectBase> effect = factory_ ? factory_(type) : nullptr;
        if (!effect) continue;
        byType_.emplace(type, effect);
        effect->prevEffect = previous;
        if (previous) previous->nextEffect = effect;
        previous = effect;
        chain_.push_back(std::move(effect));
    }
}

std::shared_ptr<EffectBase> CpuRenderEngine::effect(int type) const {
    auto entry = byType_.find(type);
    return entry == byType_.end() ? nullptr : entry->second.lock();
}

bool CpuRenderEngine::process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput) {
    if (!frame || chain_.empty() || textureInput) return false;
    const int w = frame->width();
    const int h = frame->height();
    if (w <= 0 || h <= 0) return false;
    const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    // Grown only: a stable size allocates nothing.
    for (auto& image : images_) {
        if (image.size() < bytes) image.resize(bytes);
    }
    auto view = [&](int i) { return ImageRGBA8{images_[i].data(), 4 * w, w, h}; };

    ConstImageRGBA8 current{nullptr, 0, 0, 0};
    int index = 0;
    for (auto& effect : chain_) {
        if (!effect->enabled) continue;
        auto* image = effect->effectKind == kEffectKindCPU
                          ? nullptr
                          : dynamic_cast<CpuImageEffect*>(effect.get());
        const bool readsBack = effect->effectType == kEffectTypeYUVOutputConvertor;
        if (image) {
            image->input = current;
            image->output = view(readsBack ? (index + 1) % 2 : index);
            image->pool = &pool_;
        }
        const int status = effect->Draw(frame);
        if (effectObserver_) {
            effectObserver_->onEffectResult(status, publicEffectId(effect->effectType));
        }
        if (status == kDrawDone && image && !readsBack) {
            current = {image->output.data, image->output.stride, w, h};
            index = (index + 1) % 2;
        }
    }
    return true;
}

}  // namespace video
}  // namespace kelvo
