#include "render/effect_base.h"

namespace kelvo {
namespace video {

void EffectBase::setEnable(bool value) {
    if (enabled == value) {
        return;
    }
    enabled = value;

    bool anyEnabled = false;
    std::shared_ptr<EffectBase> before = prevEffect;
    while (before && !before->isYUVConvertor()) {
        anyEnabled = anyEnabled || before->enabled;
        before = before->prevEffect;
    }
    std::shared_ptr<EffectBase> after = nextEffect;
    while (after && !after->isYUVConvertor()) {
        anyEnabled = anyEnabled || after->enabled;
        after = after->nextEffect;
    }

    if (!before || !after || before->effectType == after->effectType) {
        return;
    }
    // A convertor's own setEnable walks outwards and finds no pair, which
    // ends the recursion.
    const bool pairOn = anyEnabled || value;
    before->setEnable(pairOn);
    after->setEnable(pairOn);
}

void EffectBase::unlink() {
    prevEffect.reset();
    nextEffect.reset();
}

}  // namespace video
}  // namespace kelvo
