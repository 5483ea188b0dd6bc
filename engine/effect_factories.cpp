#include "engine/effect_factories.h"

#include <iterator>

#include "cpu/cpu_effects.h"
#include "denoise/denoiser_descriptor.h"
#include "denoise/effect_video_denoiser.h"
#include "effects/beauty/beauty_descriptor.h"
#include "effects/color_enhance/color_enhance_descriptor.h"
#include "effects/environment_descriptor.h"
#include "effects/lowlight/lowlight_descriptor.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

namespace {

std::shared_ptr<EffectBase> makeDenoiser() { return std::make_shared<EffectVideoDenoiser>(); }

// The registry: an added effect is one row here (its descriptor and its CPU
// maker) and one in the GL makers (engine/gl/gl_effects.cpp).
const EffectDescriptor* const kDescriptors[] = {
    &kBeautyDescriptor,   &kColorEnhanceDescriptor, &kDenoiserDescriptor,
    &kLowlightDescriptor, &kEnvironmentDescriptor,
};

struct CpuMaker {
    int type;
    EffectMaker make;
};
const CpuMaker kCpuMakers[] = {
    {kEffectTypeYUVInputConvertor, makeCpuYUVInputConvertor},
    {kEffectTypeVideoDenoiser, makeDenoiser},
    {kEffectTypeBeauty, makeCpuBeauty},
    {kEffectTypeColorEnhance, makeCpuColorEnhance},
    {kEffectTypeLowlightEnhance, makeCpuLowlightEnhance},
    {kEffectTypeYUVOutputConvertor, makeCpuYUVOutputConvertor},
};

}  // namespace

std::shared_ptr<EffectBase> createGLEffect(int type) {
    // The denoiser works on the planes: the same effect on both backends.
    if (type == kDenoiserDescriptor.internalType) return makeDenoiser();
    const EffectMaker make = glEffectMaker(type);
    return make ? make() : nullptr;
}

std::shared_ptr<EffectBase> createCpuEffect(int type) {
    for (const CpuMaker& row : kCpuMakers)
        if (row.type == type) return row.make();
    return nullptr;
}

DescriptorList effectDescriptors() { return {kDescriptors, std::size(kDescriptors)}; }

const EffectDescriptor* findEffectDescriptor(const std::string& key) {
    for (const EffectDescriptor* d : kDescriptors)
        if (key == d->optionKey) return d;
    return nullptr;
}

}  // namespace video
}  // namespace kelvo
