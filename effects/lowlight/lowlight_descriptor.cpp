#include "effects/lowlight/lowlight_descriptor.h"

#include <iterator>

#include "effects/lowlight/lowlight_model.h"
#include "render/render_engine.h"

namespace kelvo {
namespace video {

namespace {

template <void (LowlightControls::*Set)(int)>
void integer(EffectBase& effect, const SettingValue& value) {
    if (auto* c = dynamic_cast<LowlightControls*>(&effect)) (c->*Set)(value.integer);
}

// clang-format off
constexpr SettingDescriptor kSettings[] = {
    {"enable", SettingType::kSwitch, 0, 1, "integer 0 or 1", 0, 1, 1, "lowlight-enable",
     "lowlight-enable", "setLowlightEnhanceEnable :", applyEnable,
     "Turns low-light enhancement on or off."},
    {"mode", SettingType::kInteger, 0, kLowlightModeMax, "integer 0 or 1", 0, 0, kLowlightModeMax,
     "lowlight-mode", "lowlight-mode",
     "setLowlightEnhanceMode :", integer<&LowlightControls::setMode>,
     "0 automatic: draws only while the scene is judged dark; 1 manual: lifts every frame."},
    {"level", SettingType::kInteger, 0, kLowlightLevelMax, "integer 0 or 1", 0, 0,
     kLowlightLevelMax, nullptr, nullptr,
     "setLowlightEnhanceLevel :", integer<&LowlightControls::setLevel>,
     "Not read by the effect; at 0 the engine couples the denoiser to low light."},
    {"adaptive", SettingType::kInteger, 0, kLowlightAdaptiveMax, "integer 0 or 1", 0, 1,
     kLowlightAdaptiveMax, "lowlight-adaptive", "lowlight-adaptive", nullptr,
     integer<&LowlightControls::setAdaptive>,
     "0 the lift follows the log mean alone; 1 it is scaled by how under-exposed the frame is "
     "(full at mean luma 60 and below, none from 90; fading in over about 16 frames, out at "
     "once), and fine noise is damped instead of sharpened."},
};
// clang-format on
static_assert(std::size(kSettings) == kLowlightAdaptiveSetting + 1, "one row per setting");

}  // namespace

// clang-format off
const EffectDescriptor kLowlightDescriptor{
    "lowlight_enhance_option", kEffectLowLightEnhance, kEffectTypeLowlightEnhance, false,
    "lowlight", "low-light enhancement",
    kSettings, std::size(kSettings)};
// clang-format on

void RenderEngine::setLowlightEnhanceEnable(bool enable) {
    applySetting(kLowlightDescriptor, kLowlightEnableSetting, SettingValue{enable, 0});
}
void RenderEngine::setLowlightEnhanceMode(int mode) {
    applySetting(kLowlightDescriptor, kLowlightModeSetting, SettingValue{mode, 0});
}
void RenderEngine::setLowlightEnhanceLevel(int level) {
    applySetting(kLowlightDescriptor, kLowlightLevelSetting, SettingValue{level, 0});
}
// Not a document member: the automatic adjustments' dark-scene verdict.
void RenderEngine::setLowlightDarkScene(bool dark) {
    if (auto* c = dynamic_cast<LowlightControls*>(effect(kLowlightDescriptor.internalType).get()))
        c->setDarkScene(dark);
}

}  // namespace video
}  // namespace kelvo
