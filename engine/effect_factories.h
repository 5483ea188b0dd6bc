// The effects each backend's chain is built from: where the render layer's
// convertors, the GL effects, the CPU image effects and the denoiser (the
// same on both backends) come together.
#pragma once

#include <memory>

namespace kelvo {
namespace video {

class EffectBase;

// For NativeRenderEngine: a new effect of that internal type, or null (built
// only with GL, in engine/gl/).
std::shared_ptr<EffectBase> createGLEffect(int type);
// For CpuRenderEngine: a new effect of that internal type, or null.
std::shared_ptr<EffectBase> createCpuEffect(int type);

}  // namespace video
}  // namespace kelvo
