#include "filter_settings.h"

#include <obs-module.h>

#include "effect_names.h"

namespace kelvo {
namespace obs {

using integration::Settings;
using integration::tuningInfo;

namespace {

const char kEffects[] = "effects";
const char kParams[] = "params";
const char kBackend[] = "backend";
const char kLowlightEnable[] = "lowlight-enable";
const char kLowlightMode[] = "lowlight-mode";
const char kDenoiseEnable[] = "denoise-enable";
const char kDenoiseMode[] = "denoise-mode";

// Locale keys of the tuning sliders, in the order of integration::Tuning.
const char* const kTuningText[integration::kTuningCount] = {
    "Beauty.Smoothness", "Beauty.Lightness",  "Beauty.Redness", "Beauty.Sharpness",
    "Color.Strength",    "Color.SkinProtect", "Denoise.Level",
};

obs_property_t* addMode(obs_properties_t* group, const char* name, const char* text) {
    obs_property_t* p = obs_properties_add_list(group, name, obs_module_text(text),
                                                OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_INT);
    obs_property_list_add_int(p, obs_module_text("Mode.Auto"), 0);
    obs_property_list_add_int(p, obs_module_text("Mode.Manual"), 1);
    return p;
}

void addSlider(obs_properties_t* group, int t) {
    obs_properties_add_float_slider(group, tuningInfo(t).name, obs_module_text(kTuningText[t]),
                                    tuningInfo(t).min, tuningInfo(t).max, 0.01);
}

obs_properties_t* addGroup(obs_properties_t* props, const char* name, const char* text) {
    obs_properties_t* group = obs_properties_create();
    obs_properties_add_group(props, name, obs_module_text(text), OBS_GROUP_NORMAL, group);
    return group;
}

// The OBS setting of one of the schema's other members.
const char* extraName(const integration::SettingInfo& info) {
    return info.obsName.empty() ? info.elementName.c_str() : info.obsName.c_str();
}

// The schema's other members with a setting of their own, in their effect's
// group, labelled by their locale key (the setting's name) when the locale
// has one.
void addExtras(obs_properties_t* group, const char* key) {
    for (const integration::SettingInfo* info : integration::extraSettings()) {
        if (info->key != key) continue;
        const char* name = extraName(*info);
        if (info->integer)
            obs_properties_add_int_slider(group, name, obs_module_text(name),
                                          static_cast<int>(info->min), static_cast<int>(info->max),
                                          1);
        else
            obs_properties_add_float_slider(group, name, obs_module_text(name), info->min,
                                            info->max, 0.01);
    }
}

}  // namespace

std::string FilterConfig::engineConfig() const { return "{\"backend\":\"" + backend + "\"}"; }

void setDefaults(obs_data_t* data, DefaultBackend backend) {
    const Settings s;
    obs_data_set_default_string(data, kEffects, video::kDefaultEffectNames);
    obs_data_set_default_string(data, kParams, "");
    obs_data_set_default_string(data, kBackend, backend == DefaultBackend::kCpu ? "cpu" : "gpu");
    for (int t = 0; t < integration::kTuningCount; ++t) {
        if (tuningInfo(t).integer)
            obs_data_set_default_int(data, tuningInfo(t).name, static_cast<long long>(s.tuning[t]));
        else
            obs_data_set_default_double(data, tuningInfo(t).name, s.tuning[t]);
    }
    const auto& extras = integration::extraSettings();
    for (size_t i = 0; i < extras.size(); ++i) {
        if (extras[i]->integer)
            obs_data_set_default_int(data, extraName(*extras[i]),
                                     static_cast<long long>(s.extra[i]));
        else
            obs_data_set_default_double(data, extraName(*extras[i]), s.extra[i]);
    }
    obs_data_set_default_bool(data, kLowlightEnable, s.lowlightEnable);
    obs_data_set_default_int(data, kLowlightMode, s.lowlightMode);
    obs_data_set_default_bool(data, kDenoiseEnable, s.denoiseEnable);
    obs_data_set_default_int(data, kDenoiseMode, s.denoiseMode);
}

obs_properties_t* makeProperties(bool withBackend) {
    obs_properties_t* props = obs_properties_create();
    obs_properties_t* general = addGroup(props, "group-general", "General");
    obs_properties_add_text(general, kEffects, obs_module_text("Effects"), OBS_TEXT_DEFAULT);
    obs_properties_add_text(general, kParams, obs_module_text("Params"), OBS_TEXT_MULTILINE);
    if (withBackend) {
        obs_property_t* backend =
            obs_properties_add_list(general, kBackend, obs_module_text("Backend"),
                                    OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
        obs_property_list_add_string(backend, obs_module_text("Backend.Auto"), "auto");
        obs_property_list_add_string(backend, obs_module_text("Backend.Gpu"), "gpu");
        obs_property_list_add_string(backend, obs_module_text("Backend.Cpu"), "cpu");
    }

    obs_properties_t* beauty = addGroup(props, "group-beauty", "Beauty");
    for (int t = integration::kBeautySmoothness; t <= integration::kBeautySharpness; ++t)
        addSlider(beauty, t);
    addExtras(beauty, "beauty_effect_option");
    obs_properties_t* color = addGroup(props, "group-color", "Color");
    addSlider(color, integration::kColorStrength);
    addSlider(color, integration::kColorSkinProtect);
    addExtras(color, "color_enhance_option");
    obs_properties_t* lowlight = addGroup(props, "group-lowlight", "Lowlight");
    obs_properties_add_bool(lowlight, kLowlightEnable, obs_module_text("Lowlight.Enable"));
    addMode(lowlight, kLowlightMode, "Lowlight.Mode");
    addExtras(lowlight, "lowlight_enhance_option");
    obs_properties_t* denoise = addGroup(props, "group-denoise", "Denoise");
    obs_properties_add_bool(denoise, kDenoiseEnable, obs_module_text("Denoise.Enable"));
    addMode(denoise, kDenoiseMode, "Denoise.Mode");
    obs_property_t* level = obs_properties_add_list(
        denoise, tuningInfo(integration::kDenoiseLevel).name, obs_module_text("Denoise.Level"),
        OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_INT);
    obs_property_list_add_int(level, obs_module_text("Denoise.Level.Normal"), 0);
    obs_property_list_add_int(level, obs_module_text("Denoise.Level.Smooth"), 1);
    obs_property_list_add_int(level, obs_module_text("Denoise.Level.Strong"), 2);
    addExtras(denoise, "video_denoiser_option");
    return props;
}

void readSettings(obs_data_t* data, FilterConfig* config, std::vector<std::string>* errors) {
    Settings& s = config->settings;
    std::string error;
    std::vector<int> effects;
    if (video::parseEffectNames(obs_data_get_string(data, kEffects), &effects, &error))
        s.effects = effects;
    else
        errors->push_back(std::string(kEffects) + ": " + error);
    const std::string params = obs_data_get_string(data, kParams);
    error.clear();
    if (integration::checkParams(params, &error))
        s.params = params;
    else
        errors->push_back(error);

    const std::string backend = obs_data_get_string(data, kBackend);
    if (backend == "auto" || backend == "gpu" || backend == "cpu")
        config->backend = backend;
    else
        errors->push_back("backend: '" + backend + "' is not auto, gpu or cpu");

    s.tuningSet = 0;
    for (int t = 0; t < integration::kTuningCount; ++t) {
        const char* name = tuningInfo(t).name;
        s.tuning[t] = tuningInfo(t).integer ? static_cast<double>(obs_data_get_int(data, name))
                                            : obs_data_get_double(data, name);
        if (obs_data_has_user_value(data, name)) s.tuningSet |= 1u << t;
    }
    const auto& extras = integration::extraSettings();
    s.extraSet = 0;
    for (size_t i = 0; i < extras.size() && i < s.extra.size(); ++i) {
        const char* name = extraName(*extras[i]);
        s.extra[i] = extras[i]->integer ? static_cast<double>(obs_data_get_int(data, name))
                                        : obs_data_get_double(data, name);
        if (obs_data_has_user_value(data, name)) s.extraSet |= uint64_t{1} << i;
    }
    s.lowlightEnable = obs_data_get_bool(data, kLowlightEnable);
    s.lowlightMode = static_cast<int>(obs_data_get_int(data, kLowlightMode));
    s.denoiseEnable = obs_data_get_bool(data, kDenoiseEnable);
    s.denoiseMode = static_cast<int>(obs_data_get_int(data, kDenoiseMode));
}

}  // namespace obs
}  // namespace kelvo
