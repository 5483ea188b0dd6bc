// Parameter documents: one JSON object per option group, validated member by
// member and forwarded to the render engine.
#include <rapidjson/document.h>

#include <string>

#include "engine/video_process_engine_impl.h"
#include "render/native_render_engine.h"

namespace kelvo {
namespace video {

namespace {

using JsonValue = rapidjson::Value;

// The member of that name, or null. Duplicate names: the first one counts.
const JsonValue* member(const JsonValue& root, const char* name) {
    if (!root.IsObject()) return nullptr;
    auto it = root.FindMember(name);
    return it == root.MemberEnd() ? nullptr : &it->value;
}

// An integer member, i.e. a JSON number written without fraction or exponent
// that fits a 32-bit int. 1.0 and true are not integers.
bool intMember(const JsonValue& root, const char* name, int* out) {
    const JsonValue* v = member(root, name);
    if (v == nullptr || !v->IsInt()) return false;
    *out = v->GetInt();
    return true;
}

// Any JSON number as a 32-bit float; anything else reads as −1, which every
// range below rejects.
float numberMember(const JsonValue& root, const char* name, bool* present) {
    const JsonValue* v = member(root, name);
    *present = v != nullptr;
    if (v == nullptr || !v->IsNumber()) return -1.0f;
    return v->GetFloat();
}

bool inUnitRange(float x) { return x > -0.001 && x < 1.001; }

}  // namespace

int VideoProcessEngineImpl::setParameter(const char* key, const char* value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (key == nullptr || value == nullptr) return -6;
    pendingParameters_[key] = value;
    log(kLogDetail, std::string("key :") + key + " param: " + value);
    return applyParameterDocument(key, value);
}

int VideoProcessEngineImpl::setVideoDenoiserMode(int mode) {
    if (renderEngine_) renderEngine_->setVideoDenoiserMode(mode);
    if (mode != videoDenoiserMode_) log(kLogInfo, "setVideoDenoiserMode :" + std::to_string(mode));
    videoDenoiserMode_ = mode;
    return 0;
}

int VideoProcessEngineImpl::setVideoDenoiserLevel(int level) {
    if (renderEngine_) renderEngine_->setVideoDenoiserLevel(level);
    if (level != videoDenoiserLevel_)
        log(kLogInfo, "setVideoDenoiserLevel :" + std::to_string(level));
    videoDenoiserLevel_ = level;
    return 0;
}

int VideoProcessEngineImpl::applyParameterDocument(const std::string& key,
                                                   const std::string& value) {
    if (!inited_) return -3;
    rapidjson::Document doc;
    doc.Parse(value.c_str(), value.size());
    if (doc.HasParseError()) {
        log(kLogError, "setParameter failed, invalid json string");
        return -7;
    }
    NativeRenderEngine* render = renderEngine_.get();
    if (render == nullptr) return 0;

    // An accepted "enable" member: forward, log a change, remember.
    auto applyEnable = [&](bool* field, const char* message, void (NativeRenderEngine::*set)(bool)) {
        int v = 0;
        if (!intMember(doc, "enable", &v) || (v != 0 && v != 1)) return;
        const bool on = v == 1;
        (render->*set)(on);
        if (on != *field) log(kLogInfo, std::string(message) + (on ? "1" : "0"));
        *field = on;
    };
    // A number member within (−0.001, 1.001).
    auto applyUnit = [&](const char* name, void (NativeRenderEngine::*set)(float)) {
        bool present = false;
        const float x = numberMember(doc, name, &present);
        if (present && inUnitRange(x)) (render->*set)(x);
    };

    if (key == "beauty_effect_option") {
        applyEnable(&beautyEnabled_, "setBeautyEnable :", &NativeRenderEngine::setBeautyEnable);
        applyUnit("smoothness", &NativeRenderEngine::setBeautySmoothness);
        applyUnit("lightness", &NativeRenderEngine::setBeautyLightness);
        applyUnit("redness", &NativeRenderEngine::setBeautyRedness);
        int contrast = 0;
        if (intMember(doc, "contrast", &contrast) && contrast >= 0 && contrast <= 2)
            render->setBeautyContrast(contrast);
        applyUnit("sharpness", &NativeRenderEngine::setBeautySharpness);
    } else if (key == "color_enhance_option") {
        applyEnable(&colorEnhanceEnabled_, "setColorEnhanceEnable :",
                    &NativeRenderEngine::setColorEnhanceEnable);
        applyUnit("skinProtect", &NativeRenderEngine::setColorEnhanceSkinProtect);
        applyUnit("strength", &NativeRenderEngine::setColorEnhanceStrength);
    } else if (key == "video_denoiser_option") {
        applyEnable(&videoDenoiserEnabled_, "setVideoDenoiserEnable :",
                    &NativeRenderEngine::setVideoDenoiserEnable);
        int v = 0;
        if (intMember(doc, "mode", &v) && v >= 0) setVideoDenoiserMode(v);
        if (intMember(doc, "level", &v) && v >= 0) setVideoDenoiserLevel(v);
    } else if (key == "lowlight_enhance_option") {
        applyEnable(&lowlightEnhanceEnabled_, "setLowlightEnhanceEnable :",
                    &NativeRenderEngine::setLowlightEnhanceEnable);
        int v = 0;
        if (intMember(doc, "mode", &v) && (v == 0 || v == 1)) {
            render->setLowlightEnhanceMode(v);
            if (v != lowlightEnhanceMode_) log(kLogInfo, "setLowlightEnhanceMode :" + std::to_string(v));
            lowlightEnhanceMode_ = v;
        }
        if (intMember(doc, "level", &v) && (v == 0 || v == 1)) {
            render->setLowlightEnhanceLevel(v);
            if (v != lowlightEnhanceLevel_)
                log(kLogInfo, "setLowlightEnhanceLevel :" + std::to_string(v));
            lowlightEnhanceLevel_ = v;
        }
    } else if (key == "environment") {
        bool present = false;
        const float strength = numberMember(doc, "light_strength", &present);
        if (present && strength > 0) render->setBeautyLightStrength(strength);
        int noise = 0;
        if (intMember(doc, "noise_level", &noise) && noise >= 0 && noise <= 2)
            render->setBeautyNoiseLevel(noise);
    }
    return 0;
}

}  // namespace video
}  // namespace kelvo
