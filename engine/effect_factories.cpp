#include "engine/effect_factories.h"

#include <iterator>

#include "cpu/cpu_effects.h"
#include "denoise/denoiser_descriptor.h"
#include "denoise/effect_video_denoiser.h"
#include "effects/beauty/beauty_descriptor.h"
#include "effects/color_enhance/color_enhance_descriptor.h"
#include "effects/environment/environment_descriptor.h"
#include "effects/lowlight/lowlight_descriptor.h"
#include "render/effect_base.h"
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

// The effect's descriptor by public identifier, or null.
const EffectDescriptor* descriptorOf(int effectId) {
    for (const EffectDescriptor* d : kDescriptors)
        if (d->publicId >= 0 && d->publicId == effectId) return d;
    return nullptr;
}

// Tells a new effect the public identifier it reports under.
std::shared_ptr<EffectBase> identified(std::shared_ptr<EffectBase> effect) {
    if (effect)
        for (const EffectDescriptor* d : kDescriptors)
            if (d->publicId >= 0 && d->internalType == effect->effectType) {
                effect->publicId = d->publicId;
                break;
            }
    return effect;
}

}  // namespace

std::shared_ptr<EffectBase> createGLEffect(int type) {
    // The denoiser works on the planes: the same effect on both backends.
    if (type == kDenoiserDescriptor.internalType) return identified(makeDenoiser());
    const EffectMaker make = glEffectMaker(type);
    return make ? identified(make()) : nullptr;
}

std::shared_ptr<EffectBase> createCpuEffect(int type) {
    for (const CpuMaker& row : kCpuMakers)
        if (row.type == type) return identified(row.make());
    return nullptr;
}

int internalEffectType(int effectId) {
    if (const EffectDescriptor* d = descriptorOf(effectId)) return d->internalType;
    // Identifiers that name an internal type get one no effect has.
    switch (effectId) {
        case 201:
            return 301;
        case 202:
            return 302;
        case 203:
            return 303;
        case 204:
            return 304;
        case 901:
            return 305;
        default:
            return -1;
    }
}

bool isCpuEffect(int effectId) {
    const EffectDescriptor* d = descriptorOf(effectId);
    return d && d->onPlanes;
}

DescriptorList effectDescriptors() { return {kDescriptors, std::size(kDescriptors)}; }

const EffectDescriptor* findEffectDescriptor(const std::string& key) {
    for (const EffectDescriptor* d : kDescriptors)
        if (key == d->optionKey) return d;
    return nullptr;
}

}  // namespace video
}  // namespace kelvo
