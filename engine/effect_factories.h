// The effects each backend's chain is built from: one table of internal
// types with the GL and the CPU maker of each, where the render layer's
// convertors, the GL effects, the CPU image effects and the denoiser (the
// same on both backends) come together.
#pragma once

#include <memory>

namespace kelvo {
namespace video {

class EffectBase;

using EffectMaker = std::shared_ptr<EffectBase> (*)();

// The GL backend's makers (engine/gl/); all null in a build without GL.
struct GLEffectMakers {
    EffectMaker oesConvertor, yuvInputConvertor, textureOutput, yuvOutputConvertor;
    EffectMaker beauty, colorEnhance, lowlightEnhance;
};
const GLEffectMakers& glEffectMakers();

// For NativeRenderEngine: a new effect of that internal type, or null.
std::shared_ptr<EffectBase> createGLEffect(int type);
// For CpuRenderEngine: a new effect of that internal type, or null.
std::shared_ptr<EffectBase> createCpuEffect(int type);

}  // namespace video
}  // namespace kelvo
