#include "effects/beauty/gl/effect_gpu_beauty.h"
#include "effects/color_enhance/gl/effect_color_enhance.h"
#include "effects/lowlight/gl/effect_lowlight_enhance.h"
#include "engine/effect_factories.h"
#include "render/gl/effect_oes_convertor.h"
#include "render/gl/effect_texture_output.h"
#include "render/gl/effect_yuv_input_convertor.h"
#include "render/gl/effect_yuv_output_convertor.h"

namespace kelvo {
namespace video {

namespace {
template <class Effect>
std::shared_ptr<EffectBase> make() {
    return std::make_shared<Effect>();
}
}  // namespace

EffectMaker glEffectMaker(int type) {
    static const struct {
        int type;
        EffectMaker make;
    } kMakers[] = {
        {kEffectTypeOESConvertor, make<EffectOESConvertor>},
        {kEffectTypeYUVInputConvertor, make<EffectYUVInputConvertor>},
        {kEffectTypeBeauty, make<EffectGPUBeauty>},
        {kEffectTypeColorEnhance, make<EffectColorEnhance>},
        {kEffectTypeLowlightEnhance, make<EffectLowlightEnhance>},
        {kEffectTypeTextureOutput, make<EffectTextureOutput>},
        {kEffectTypeYUVOutputConvertor, make<EffectYUVOutputConvertor>},
    };
    for (const auto& row : kMakers)
        if (row.type == type) return row.make;
    return nullptr;
}

}  // namespace video
}  // namespace kelvo
