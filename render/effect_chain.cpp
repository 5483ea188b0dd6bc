#include "render/effect_chain.h"

#include <utility>

#include "kelvo/video_process_engine.h"
#include "render/effect_base.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

void EffectChain::build(const std::vector<int>& types) {
    if (types.empty()) return;
    clear();
    for (int type : types) append(type);
    std::shared_ptr<EffectBase> previous;
    for (auto& effect : effects_) {
        effect->prevEffect = previous;
        if (previous) previous->nextEffect = effect;
        previous = effect;
    }
}

int EffectChain::append(int type) {
    std::shared_ptr<EffectBase> effect = factory_ ? factory_(type) : nullptr;
    if (!effect) return -5;
    byType_.emplace(type, effect);
    effects_.push_back(std::move(effect));
    return 0;
}

void EffectChain::clear() {
    for (auto& effect : effects_) effect->release();
    // The links are shared both ways; without unlinking, dropped effects
    // would keep each other alive.
    for (auto& effect : effects_) effect->unlink();
    effects_.clear();
    byType_.clear();
}

std::shared_ptr<EffectBase> EffectChain::effect(int type) const {
    auto entry = byType_.find(type);
    return entry == byType_.end() ? nullptr : entry->second.lock();
}

void EffectChain::run(const std::shared_ptr<I420VideoFrame>& frame, ChainHandOver& handOver,
                      IVideoProcessObserver* observer) {
    int index = 0;
    for (auto& effect : effects_) {
        if (handOver.failed()) return;
        if (!effect->enabled) continue;
        const bool readsBack = effect->effectType == kEffectTypeYUVOutputConvertor;
        const bool image = handOver.handOver(*effect, readsBack ? (index + 1) % 2 : index);
        const int status = effect->Draw(frame);
        if (observer) observer->onEffectResult(status, effect->publicId);
        if (status == kDrawDone && image) {
            handOver.adoptOutput(*effect, readsBack);
            if (!readsBack) index = (index + 1) % 2;
        }
    }
}

}  // namespace video
}  // namespace kelvo
