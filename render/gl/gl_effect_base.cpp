#include "render/gl/gl_effect_base.h"

#include <utility>

#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"

namespace kelvo {
namespace video {

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

std::shared_ptr<FBOBase> GPUEffectBase::outputFramebuffer() { return outputFBO; }

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
