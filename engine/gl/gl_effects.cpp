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

const GLEffectMakers& glEffectMakers() {
    static const GLEffectMakers makers{make<EffectOESConvertor>,   make<EffectYUVInputConvertor>,
                                       make<EffectTextureOutput>,  make<EffectYUVOutputConvertor>,
                                       make<EffectGPUBeauty>,      make<EffectColorEnhance>,
                                       make<EffectLowlightEnhance>};
    return makers;
}

}  // namespace video
}  // namespace kelvo
