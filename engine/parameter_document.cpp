// Parameter documents: validated by the parameter store, remembered member by
// member, and forwarded to the render engine and the engine's effect state.
#include <string>

#include "denoise/denoiser_descriptor.h"
#include "effects/beauty/beauty_descriptor.h"
#include "effects/color_enhance/color_enhance_descriptor.h"
#include "effects/lowlight/lowlight_descriptor.h"
#include "engine/parameter_store.h"
#include "engine/video_process_engine_impl.h"
#include "render/render_engine.h"
#include "system/exception_text.h"

namespace kelvo {
namespace video {

int VideoProcessEngineImpl::setParameterReporting(const char* key, const char* value,
                                                  std::vector<ParameterRejection>* rejections) {
    // As guard() does for setParameter: nothing thrown reaches the caller.
    try {
        return setParameterUnguarded(key, value, rejections);
    } catch (...) {
        logFailure("setParameter", currentExceptionText());
    }
    return kResultFailed;
}

int VideoProcessEngineImpl::setParameterUnguarded(const char* key, const char* value,
                                                  std::vector<ParameterRejection>* rejections) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (key == nullptr || value == nullptr) return kResultInvalidArgument;
    log(kLogDetail, std::string("key :") + key + " param: " + value);
    const ParsedParameterDocument parsed = parseParameterDocument(key, value);
    if (!parsed.validJson) {
        // Nothing is remembered: a broken text must not undo good settings.
        log(kLogError, "setParameter failed, invalid json string");
        return inited_ ? kResultInvalidJson : kResultNotInitialized;
    }
    for (const ParameterRejection& rejection : parsed.rejections)
        log(kLogError, rejectionText(rejection));
    if (rejections) *rejections = parsed.rejections;
    // Remembered before init too: init applies what was given before it.
    if (parsed.knownKey) pendingParameters_.merge(key, parsed.accepted);
    if (!inited_) return kResultNotInitialized;
    applyParameterSettings(parsed.accepted);
    return kResultOk;
}

int VideoProcessEngineImpl::setVideoDenoiserMode(int mode) {
    applySetting(kDenoiserDescriptor, kDenoiserModeSetting, SettingValue{mode, 0});
    return 0;
}

int VideoProcessEngineImpl::setVideoDenoiserLevel(int level) {
    applySetting(kDenoiserDescriptor, kDenoiserLevelSetting, SettingValue{level, 0});
    return 0;
}

void VideoProcessEngineImpl::replayParameters() {
    for (const auto& entry : pendingParameters_.entries()) applyParameterSettings(entry.second);
}

void VideoProcessEngineImpl::applyParameterSettings(const std::vector<ParameterSetting>& settings) {
    if (!renderEngine_) return;
    for (const ParameterSetting& s : settings) applySetting(*s.effect, s.index, s.value);
}

void VideoProcessEngineImpl::applySetting(const EffectDescriptor& effect, size_t index,
                                          const SettingValue& value) {
    // Forward, remember, log a change.
    if (renderEngine_) renderEngine_->applySetting(effect, index, value);
    const char* message = effect[index].engineMessage;
    // The state first: a log line that cannot be built must not leave it
    // disagreeing with the effect.
    if (message && effectState_.set(effect, index, value.integer))
        log(kLogInfo, message + std::to_string(value.integer));
}

bool VideoProcessEngineImpl::beautyEnabled() const {
    return effectState_.value(kBeautyDescriptor, kBeautyEnableSetting) != 0;
}
bool VideoProcessEngineImpl::colorEnhanceEnabled() const {
    return effectState_.value(kColorEnhanceDescriptor, kColorEnhanceEnableSetting) != 0;
}
bool VideoProcessEngineImpl::videoDenoiserEnabled() const {
    return effectState_.value(kDenoiserDescriptor, kDenoiserEnableSetting) != 0;
}
bool VideoProcessEngineImpl::lowlightEnhanceEnabled() const {
    return effectState_.value(kLowlightDescriptor, kLowlightEnableSetting) != 0;
}
int VideoProcessEngineImpl::videoDenoiserMode() const {
    return effectState_.value(kDenoiserDescriptor, kDenoiserModeSetting);
}
int VideoProcessEngineImpl::videoDenoiserLevel() const {
    return effectState_.value(kDenoiserDescriptor, kDenoiserLevelSetting);
}
int VideoProcessEngineImpl::lowlightEnhanceMode() const {
    return effectState_.value(kLowlightDescriptor, kLowlightModeSetting);
}
int VideoProcessEngineImpl::lowlightEnhanceLevel() const {
    return effectState_.value(kLowlightDescriptor, kLowlightLevelSetting);
}

}  // namespace video
}  // namespace kelvo
