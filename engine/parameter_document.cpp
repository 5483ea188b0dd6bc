// Parameter documents: validated by the parameter store, remembered member by
// member, and forwarded to the render engine and the engine's own fields.
#include <string>

#include "engine/parameter_store.h"
#include "engine/video_process_engine_impl.h"
#include "render/render_engine.h"

namespace kelvo {
namespace video {

int VideoProcessEngineImpl::setParameterUnguarded(const char* key, const char* value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (key == nullptr || value == nullptr) return -6;
    log(kLogDetail, std::string("key :") + key + " param: " + value);
    const ParsedParameterDocument parsed = parseParameterDocument(key, value);
    if (!parsed.validJson) {
        // Nothing is remembered: a broken text must not undo good settings.
        log(kLogError, "setParameter failed, invalid json string");
        return inited_ ? -7 : -3;
    }
    for (const std::string& rejection : parsed.rejections) log(kLogError, rejection);
    // Remembered before init too: init applies what was given before it.
    if (parsed.knownKey) pendingParameters_.merge(key, parsed.accepted);
    if (!inited_) return -3;
    applyParameterSettings(parsed.accepted);
    return 0;
}

int VideoProcessEngineImpl::setVideoDenoiserMode(int mode) {
    if (renderEngine_) renderEngine_->setVideoDenoiserMode(mode);
    const bool changed = mode != videoDenoiserMode_;
    videoDenoiserMode_ = mode;
    if (changed) log(kLogInfo, "setVideoDenoiserMode :" + std::to_string(mode));
    return 0;
}

int VideoProcessEngineImpl::setVideoDenoiserLevel(int level) {
    if (renderEngine_) renderEngine_->setVideoDenoiserLevel(level);
    const bool changed = level != videoDenoiserLevel_;
    videoDenoiserLevel_ = level;
    if (changed) log(kLogInfo, "setVideoDenoiserLevel :" + std::to_string(level));
    return 0;
}

void VideoProcessEngineImpl::replayParameters() {
    for (const auto& entry : pendingParameters_.entries()) applyParameterSettings(entry.second);
}

void VideoProcessEngineImpl::applyParameterSettings(const std::vector<ParameterSetting>& settings) {
    RenderEngine* render = renderEngine_.get();
    if (render == nullptr) return;

    // Forward, log a change, remember.
    auto enable = [&](bool on, bool* field, const char* message, void (RenderEngine::*set)(bool)) {
        (render->*set)(on);
        // The field first: a log line that cannot be built must not leave it
        // disagreeing with the effect.
        const bool changed = on != *field;
        *field = on;
        if (changed) log(kLogInfo, std::string(message) + (on ? "1" : "0"));
    };
    auto lowlight = [&](int value, int* field, const char* message,
                        void (RenderEngine::*set)(int)) {
        (render->*set)(value);
        const bool changed = value != *field;
        *field = value;
        if (changed) log(kLogInfo, message + std::to_string(value));
    };

    using M = ParameterMember;
    for (const ParameterSetting& s : settings) {
        const bool on = s.integer == 1;
        switch (s.member) {
            case M::kBeautyEnable:
                enable(on, &beautyEnabled_, "setBeautyEnable :", &RenderEngine::setBeautyEnable);
                break;
            case M::kBeautySmoothness:
                render->setBeautySmoothness(s.number);
                break;
            case M::kBeautyLightness:
                render->setBeautyLightness(s.number);
                break;
            case M::kBeautyRedness:
                render->setBeautyRedness(s.number);
                break;
            case M::kBeautyContrast:
                render->setBeautyContrast(s.integer);
                break;
            case M::kBeautySharpness:
                render->setBeautySharpness(s.number);
                break;
            case M::kColorEnhanceEnable:
                enable(on, &colorEnhanceEnabled_,
                       "setColorEnhanceEnable :", &RenderEngine::setColorEnhanceEnable);
                break;
            case M::kColorEnhanceSkinProtect:
                render->setColorEnhanceSkinProtect(s.number);
                break;
            case M::kColorEnhanceStrength:
                render->setColorEnhanceStrength(s.number);
                break;
            case M::kVideoDenoiserEnable:
                enable(on, &videoDenoiserEnabled_,
                       "setVideoDenoiserEnable :", &RenderEngine::setVideoDenoiserEnable);
                break;
            case M::kVideoDenoiserMode:
                setVideoDenoiserMode(s.integer);
                break;
            case M::kVideoDenoiserLevel:
                setVideoDenoiserLevel(s.integer);
                break;
            case M::kLowlightEnhanceEnable:
                enable(on, &lowlightEnhanceEnabled_,
                       "setLowlightEnhanceEnable :", &RenderEngine::setLowlightEnhanceEnable);
                break;
            case M::kLowlightEnhanceMode:
                lowlight(s.integer, &lowlightEnhanceMode_,
                         "setLowlightEnhanceMode :", &RenderEngine::setLowlightEnhanceMode);
                break;
            case M::kLowlightEnhanceLevel:
                lowlight(s.integer, &lowlightEnhanceLevel_,
                         "setLowlightEnhanceLevel :", &RenderEngine::setLowlightEnhanceLevel);
                break;
            case M::kEnvironmentLightStrength:
                render->setBeautyLightStrength(s.number);
                break;
            case M::kEnvironmentNoiseLevel:
                render->setBeautyNoiseLevel(s.integer);
                break;
        }
    }
}

}  // namespace video
}  // namespace kelvo
