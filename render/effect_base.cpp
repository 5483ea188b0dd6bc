#include "render/effect_base.h"

#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"

namespace kelvo {
namespace video {

namespace {
bool isYUVConvertor(const EffectBase& effect) {
    return effect.effectType == kEffectTypeYUVInputConvertor ||
           effect.effectType == kEffectTypeYUVOutputConvertor;
}
}  // namespace

void EffectBase::setEnable(bool value) {
    if (enabled == value) {
        return;
    }
    enabled = value;

    bool anyEnabled = false;
    std::shared_ptr<EffectBase> before = prevEffect;
    while (before && !isYUVConvertor(*before)) {
        anyEnabled = anyEnabled || before->enabled;
        before = before->prevEffect;
    }
    std::shared_ptr<EffectBase> after = nextEffect;
    while (after && !isYUVConvertor(*after)) {
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

void GPUEffectBase::setInputTexture(std::shared_ptr<TextureBase> texture) {
    inputTexture = std::move(texture);
}

void GPUEffectBase::setOutputFBO(std::shared_ptr<FBOBase> framebuffer) {
    outputFBO = std::move(framebuffer);
}

std::shared_ptr<TextureBase> GPUEffectBase::outputTexture() {
    if (!outputFBO) {
        return nullptr;
    }
    return outputFBO->texture;
}

std::shared_ptr<FBOBase> GPUEffectBase::outputFramebuffer() {
    return outputFBO;
}

std::shared_ptr<TextureBase> GLEffectBase::textureFromFrame(
    const std::shared_ptr<IFrameSource>& source) {
    if (!source) {
        return nullptr;
    }
    FrameDescriptor descriptor;
    source->describe(descriptor);
    if (descriptor.kind != 1) {
        return nullptr;
    }
    return std::make_shared<GLTexture>(descriptor.textureId, descriptor.textureType,
                                       descriptor.width, descriptor.height);
}

}  // namespace video
}  // namespace kelvo
