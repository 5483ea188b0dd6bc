#include "effects/environment/environment_descriptor.h"

#include <iterator>
#include <limits>

#include "effects/beauty/beauty_model.h"
#include "render/render_engine.h"

namespace kelvo {
namespace video {

namespace {

void lightStrength(EffectBase& effect, const SettingValue& value) {
    if (auto* c = dynamic_cast<BeautyControls*>(&effect)) c->setLightStrength(value.number);
}
void noiseLevel(EffectBase& effect, const SettingValue& value) {
    if (auto* c = dynamic_cast<BeautyControls*>(&effect)) c->setNoiseLevel(value.integer);
}

constexpr double kInf = std::numeric_limits<double>::infinity();

// clang-format off
constexpr SettingDescriptor kSettings[] = {
    {"light_strength", SettingType::kNumber, 0, kInf, "number > 0",
     double(kBeautyDefaults.lightStrength), double(kBeautyDefaults.lightStrength), kInf, nullptr,
     nullptr, nullptr, lightStrength,
     "Scene light on the capture side's scale; at 90 or below only pale tones count as skin."},
    {"noise_level", SettingType::kInteger, 0, kBeautyNoiseLevelMax, "integer 0..2",
     double(kBeautyDefaults.noiseLevel), double(kBeautyDefaults.noiseLevel), kBeautyNoiseLevelMax,
     nullptr, nullptr, nullptr, noiseLevel,
     "Camera noise class; from 1 smoothing covers the whole picture."},
};
// clang-format on

}  // namespace

// clang-format off
const EffectDescriptor kEnvironmentDescriptor{
    "environment", -1, kEffectTypeBeauty, false, nullptr, "capture conditions (beauty)",
    kSettings, std::size(kSettings)};
// clang-format on

void RenderEngine::setBeautyLightStrength(float value) {
    applySetting(kEnvironmentDescriptor, kEnvironmentLightStrengthSetting, SettingValue{0, value});
}
void RenderEngine::setBeautyNoiseLevel(int value) {
    applySetting(kEnvironmentDescriptor, kEnvironmentNoiseLevelSetting, SettingValue{value, 0});
}

}  // namespace video
}  // namespace kelvo
