#include "effects/color_enhance/color_enhance_descriptor.h"

#include <iterator>

#include "effects/color_enhance/color_enhance_model.h"
#include "render/render_engine.h"

namespace kelvo {
namespace video {

namespace {

template <void (ColorEnhanceControls::*Set)(float)>
void number(EffectBase& effect, const SettingValue& value) {
    if (auto* c = dynamic_cast<ColorEnhanceControls*>(&effect)) (c->*Set)(value.number);
}

// clang-format off
constexpr SettingDescriptor kSettings[] = {
    switchSetting("enable", "setColorEnhanceEnable :", applyEnable,
                  "Turns colour enhancement on or off."),
    unitSetting("skinProtect", kColorEnhanceDefaultSkinProtect, "color-skin-protect",
                number<&ColorEnhanceControls::setSkinProtect>,
                "How much skin tones are spared: 1 leaves skin as it is."),
    unitSetting("strength", kColorEnhanceDefaultStrength, "color-strength",
                number<&ColorEnhanceControls::setStrength>,
                "Saturation boost in Lab space, strongest on dull colours; 0 is the identity."),
};
// clang-format on
static_assert(std::size(kSettings) == kColorEnhanceStrengthSetting + 1, "one row per setting");

}  // namespace

// clang-format off
const EffectDescriptor kColorEnhanceDescriptor{
    "color_enhance_option", kEffectColorEnhance, kEffectTypeColorEnhance, false, "color",
    "colour enhancement",
    kSettings, std::size(kSettings)};
// clang-format on

void RenderEngine::setColorEnhanceEnable(bool enable) {
    applySetting(kColorEnhanceDescriptor, kColorEnhanceEnableSetting, SettingValue{enable, 0});
}
void RenderEngine::setColorEnhanceStrength(float value) {
    applySetting(kColorEnhanceDescriptor, kColorEnhanceStrengthSetting, SettingValue{0, value});
}
void RenderEngine::setColorEnhanceSkinProtect(float value) {
    applySetting(kColorEnhanceDescriptor, kColorEnhanceSkinProtectSetting, SettingValue{0, value});
}

}  // namespace video
}  // namespace kelvo
