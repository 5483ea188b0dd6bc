#include "denoise/denoiser_descriptor.h"

#include <climits>
#include <iterator>

#include "denoise/denoiser_model.h"
#include "render/effect_base.h"
#include "render/render_engine.h"

namespace kelvo {
namespace video {

namespace {

void enable(EffectBase& effect, const SettingValue& value) {
    const bool on = value.integer == 1;
    auto* denoiser = dynamic_cast<DenoiserControls*>(&effect);
    if (!denoiser) return;
    // A reference from before the switch would be blended into the next frame.
    if (effect.enabled != on) denoiser->dropReference();
    effect.setEnable(on);
}
template <void (DenoiserControls::*Set)(int)>
void integer(EffectBase& effect, const SettingValue& value) {
    if (auto* c = dynamic_cast<DenoiserControls*>(&effect)) (c->*Set)(value.integer);
}

// Every mode other than 0 filters every frame, and every level from 2 on is
// the strong mode: the document takes any of them, the integrations offer
// the distinct ones.
// clang-format off
constexpr SettingDescriptor kSettings[] = {
    {"enable", SettingType::kSwitch, 0, 1, "integer 0 or 1", 0, 1, 1, "denoise-enable",
     "denoise-enable", "setVideoDenoiserEnable :", enable, "Turns the denoiser on or off."},
    {"mode", SettingType::kInteger, 0, INT_MAX, "integer >= 0", 0, 0, 1, "denoise-mode",
     "denoise-mode", "setVideoDenoiserMode :", integer<&DenoiserControls::setMode>,
     "0 automatic: filters only frames judged noisy; any other value filters every frame."},
    {"level", SettingType::kInteger, 0, INT_MAX, "integer >= 0", 0, 2, 2, "denoise-level",
     "denoise-level", "setVideoDenoiserLevel :", integer<&DenoiserControls::setLevel>,
     "0 block filter; 1 the same with the plain-smoother preset; 2 and above the strong mode."},
};
// clang-format on
static_assert(std::size(kSettings) == kDenoiserLevelSetting + 1, "one row per setting");

}  // namespace

// clang-format off
const EffectDescriptor kDenoiserDescriptor{
    "video_denoiser_option", kEffectVideoDenoiser, kEffectTypeVideoDenoiser, true, "denoise",
    "temporal denoiser",
    kSettings, std::size(kSettings)};
// clang-format on

void RenderEngine::setVideoDenoiserEnable(bool enable) {
    applySetting(kDenoiserDescriptor, kDenoiserEnableSetting, SettingValue{enable, 0});
}
void RenderEngine::setVideoDenoiserMode(int mode) {
    applySetting(kDenoiserDescriptor, kDenoiserModeSetting, SettingValue{mode, 0});
}
void RenderEngine::setVideoDenoiserLevel(int level) {
    applySetting(kDenoiserDescriptor, kDenoiserLevelSetting, SettingValue{level, 0});
}
// Not a document member: the automatic adjustments' noise verdict.
void RenderEngine::setVideoDenoiserAutoNoisy(bool noisy) {
    if (auto* c = dynamic_cast<DenoiserControls*>(effect(kDenoiserDescriptor.internalType).get()))
        c->setAutoTrigger(noisy);
}

}  // namespace video
}  // namespace kelvo
