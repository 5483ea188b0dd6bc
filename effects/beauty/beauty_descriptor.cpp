#include "effects/beauty/beauty_descriptor.h"

#include "effects/beauty/beauty_model.h"
#include "render/render_engine.h"

#include <iterator>

namespace kelvo {
namespace video {

namespace {

template <void (BeautyControls::*Set)(float)>
void number(EffectBase& effect, const SettingValue& value) {
    if (auto* c = dynamic_cast<BeautyControls*>(&effect)) (c->*Set)(value.number);
}
template <void (BeautyControls::*Set)(int)>
void integer(EffectBase& effect, const SettingValue& value) {
    if (auto* c = dynamic_cast<BeautyControls*>(&effect)) (c->*Set)(value.integer);
}

constexpr BeautyParameters d = kBeautyDefaults;

// clang-format off
constexpr SettingDescriptor kSettings[] = {
    switchSetting("enable", "setBeautyEnable :", applyEnable, "Turns the beauty effect on or off."),
    unitSetting("smoothness", d.smoothness, "beauty-smoothness",
                number<&BeautyControls::setSmoothness>,
                "Strength of the skin smoothing (the blur weight is its square root)."),
    unitSetting("lightness", d.lightness, "beauty-lightness", number<&BeautyControls::setLightness>,
                "Lightening towards the whitening table."),
    unitSetting("redness", d.redness, "beauty-redness", number<&BeautyControls::setRedness>,
                "Rosy tint towards the ruddy table, weighted (0.7 redness) squared."),
    {"contrast", SettingType::kInteger, 0, kBeautyContrastMax, "integer 0..2", double(d.contrast),
     double(d.contrast), kBeautyContrastMax, nullptr, nullptr, nullptr,
     integer<&BeautyControls::setContrast>, "Carried to the mix; no visible effect."},
    unitSetting("sharpness", d.sharpness, "beauty-sharpness", number<&BeautyControls::setSharpness>,
                "Sharpening of the final mix, weighted sharpness squared."),
    {"level", SettingType::kInteger, kBeautyLevelClassic, kBeautyLevelSelective, "integer 0 or 1",
     double(d.level), double(d.level), kBeautyLevelSelective, "beauty-level", "beauty-level",
     "setBeautyLevel :", integer<&BeautyControls::setLevel>,
     "0 the classic mix; 1 strong and selective: soft skin likelihood, texture kept on eyes, "
     "brows and hair."},
};
// clang-format on
static_assert(std::size(kSettings) == kBeautyLevelSetting + 1, "one row per BeautySetting");

}  // namespace

// clang-format off
const EffectDescriptor kBeautyDescriptor{
    "beauty_effect_option", kEffectBeauty, kEffectTypeBeauty, false, "beauty", "skin smoothing",
    kSettings, std::size(kSettings)};
// clang-format on

// The render engine's named setters for beauty.
void RenderEngine::setBeautyEnable(bool enable) {
    applySetting(kBeautyDescriptor, kBeautyEnableSetting, SettingValue{enable, 0});
}
void RenderEngine::setBeautySmoothness(float value) {
    applySetting(kBeautyDescriptor, kBeautySmoothnessSetting, SettingValue{0, value});
}
void RenderEngine::setBeautyLightness(float value) {
    applySetting(kBeautyDescriptor, kBeautyLightnessSetting, SettingValue{0, value});
}
void RenderEngine::setBeautyRedness(float value) {
    applySetting(kBeautyDescriptor, kBeautyRednessSetting, SettingValue{0, value});
}
void RenderEngine::setBeautyContrast(int value) {
    applySetting(kBeautyDescriptor, kBeautyContrastSetting, SettingValue{value, 0});
}
void RenderEngine::setBeautySharpness(float value) {
    applySetting(kBeautyDescriptor, kBeautySharpnessSetting, SettingValue{0, value});
}

}  // namespace video
}  // namespace kelvo
