#include "engine/effect_factories.h"

#include "cpu/cpu_effects.h"
#include "denoise/effect_video_denoiser.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

namespace {

struct EffectMakers {
    int type;
    EffectMaker gl;
    EffectMaker cpu;
};

std::shared_ptr<EffectBase> makeDenoiser() { return std::make_shared<EffectVideoDenoiser>(); }

const EffectMakers* makersOf(int type) {
    static const GLEffectMakers& gl = glEffectMakers();
    static const EffectMakers table[] = {
        {kEffectTypeOESConvertor, gl.oesConvertor, nullptr},
        {kEffectTypeYUVInputConvertor, gl.yuvInputConvertor, makeCpuYUVInputConvertor},
        {kEffectTypeVideoDenoiser, makeDenoiser, makeDenoiser},
        {kEffectTypeBeauty, gl.beauty, makeCpuBeauty},
        {kEffectTypeColorEnhance, gl.colorEnhance, makeCpuColorEnhance},
        {kEffectTypeLowlightEnhance, gl.lowlightEnhance, makeCpuLowlightEnhance},
        {kEffectTypeTextureOutput, gl.textureOutput, nullptr},
        {kEffectTypeYUVOutputConvertor, gl.yuvOutputConvertor, makeCpuYUVOutputConvertor},
    };
    for (const EffectMakers& row : table)
        if (row.type == type) return &row;
    return nullptr;
}

}  // namespace

std::shared_ptr<EffectBase> createGLEffect(int type) {
    const EffectMakers* makers = makersOf(type);
    return makers && makers->gl ? makers->gl() : nullptr;
}

std::shared_ptr<EffectBase> createCpuEffect(int type) {
    const EffectMakers* makers = makersOf(type);
    return makers && makers->cpu ? makers->cpu() : nullptr;
}

}  // namespace video
}  // namespace kelvo
