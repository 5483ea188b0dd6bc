// The registry of effects: every option key's descriptor (each declared in
// its effect's folder) and the makers of each backend's chain, where the
// render layer's convertors, the GL effects, the CPU image effects and the
// denoiser (the same on both backends) come together.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace kelvo {
namespace video {

class EffectBase;
struct EffectDescriptor;

using EffectMaker = std::shared_ptr<EffectBase> (*)();

// The GL backend's maker of an internal type (engine/gl/), or null; always
// null in a build without GL.
EffectMaker glEffectMaker(int type);

// For NativeRenderEngine: a new effect of that internal type, or null.
std::shared_ptr<EffectBase> createGLEffect(int type);
// For CpuRenderEngine: a new effect of that internal type, or null.
std::shared_ptr<EffectBase> createCpuEffect(int type);

// Every option key's descriptor, in the order of the rejection texts: the
// effects', then the keys no effect owns.
struct DescriptorList {
    const EffectDescriptor* const* first;
    size_t count;
    const EffectDescriptor* const* begin() const { return first; }
    const EffectDescriptor* const* end() const { return first + count; }
};
DescriptorList effectDescriptors();
// The descriptor of an option key, or null.
const EffectDescriptor* findEffectDescriptor(const std::string& key);

}  // namespace video
}  // namespace kelvo
