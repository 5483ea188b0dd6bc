// The module as OBS loads it: both filters registered with texts from the
// locale, their defaults and their properties.
#include <rapidjson/document.h>

#include <string>

#include "effect_names.h"
#include "kelvo/kelvo.h"
#include "obs_runtime.h"

namespace {

using kelvo_obs_test::ObsRuntime;

using ObsModule = ObsRuntime;

TEST_F(ObsModule, RegistersTheFiltersWithTheirLocaleNames) {
    EXPECT_STREQ(obs_source_get_display_name("kelvo_enhance_filter"), "Kelvo Enhance");
    EXPECT_EQ(obs_get_source_output_flags("kelvo_enhance_filter"),
              static_cast<uint32_t>(OBS_SOURCE_VIDEO | OBS_SOURCE_ASYNC));
    EXPECT_STREQ(obs_source_get_display_name("kelvo_enhance_gpu_filter"), "Kelvo Enhance (GPU)");
    EXPECT_EQ(obs_get_source_output_flags("kelvo_enhance_gpu_filter"),
              static_cast<uint32_t>(OBS_SOURCE_VIDEO));
}

TEST_F(ObsModule, DefaultsAreTheElements) {
    obs_data_t* d = obs_get_source_defaults("kelvo_enhance_filter");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(obs_data_get_string(d, "effects"), kelvo::video::kDefaultEffectNames);
    EXPECT_STREQ(obs_data_get_string(d, "params"), "");
    EXPECT_STREQ(obs_data_get_string(d, "backend"), "cpu");
    const struct {
        const char* name;
        double value;
    } numbers[] = {{"beauty-smoothness", 0.5}, {"beauty-lightness", 0.3},
                   {"beauty-redness", 0.3},    {"beauty-sharpness", 0.3},
                   {"color-strength", 0.5},    {"color-skin-protect", 1.0}};
    for (const auto& n : numbers)
        EXPECT_DOUBLE_EQ(obs_data_get_double(d, n.name), n.value) << n.name;
    EXPECT_EQ(obs_data_get_int(d, "denoise-level"), 2);
    EXPECT_EQ(obs_data_get_int(d, "denoise-mode"), 0);
    EXPECT_EQ(obs_data_get_int(d, "lowlight-mode"), 0);
    EXPECT_TRUE(obs_data_get_bool(d, "denoise-enable"));
    EXPECT_TRUE(obs_data_get_bool(d, "lowlight-enable"));
    // Every setting the schema names starts at the integrations' default.
    rapidjson::Document schema;
    schema.Parse(kelvo_settings_schema());
    ASSERT_TRUE(schema.IsObject());
    int checked = 0;
    for (const auto& key : schema["keys"].GetArray())
        for (const auto& m : key["members"].GetArray()) {
            if (!m["obs_setting"].IsString()) continue;
            const char* name = m["obs_setting"].GetString();
            const double def = m["integration_default"].GetDouble();
            EXPECT_TRUE(obs_data_has_default_value(d, name)) << name;
            const double got = std::string(m["name"].GetString()) == "enable"
                                   ? obs_data_get_bool(d, name)
                               : std::string(m["type"].GetString()) == "number"
                                   ? obs_data_get_double(d, name)
                                   : static_cast<double>(obs_data_get_int(d, name));
            EXPECT_NEAR(got, def, 1e-6) << name;
            ++checked;
        }
    EXPECT_GE(checked, 11);
    obs_data_release(d);
}

// One group per effect, each setting in its group with the control it needs.
TEST_F(ObsModule, PropertiesAreGroupedPerEffect) {
    obs_properties_t* props = obs_get_source_properties("kelvo_enhance_filter");
    ASSERT_NE(props, nullptr);
    const struct {
        const char* group;
        const char* name;
        obs_property_type type;
    } rows[] = {
        {"group-general", "effects", OBS_PROPERTY_TEXT},
        {"group-general", "params", OBS_PROPERTY_TEXT},
        {"group-general", "backend", OBS_PROPERTY_LIST},
        {"group-beauty", "beauty-smoothness", OBS_PROPERTY_FLOAT},
        {"group-beauty", "beauty-lightness", OBS_PROPERTY_FLOAT},
        {"group-beauty", "beauty-redness", OBS_PROPERTY_FLOAT},
        {"group-beauty", "beauty-sharpness", OBS_PROPERTY_FLOAT},
        {"group-color", "color-strength", OBS_PROPERTY_FLOAT},
        {"group-color", "color-skin-protect", OBS_PROPERTY_FLOAT},
        {"group-lowlight", "lowlight-enable", OBS_PROPERTY_BOOL},
        {"group-lowlight", "lowlight-mode", OBS_PROPERTY_LIST},
        {"group-denoise", "denoise-enable", OBS_PROPERTY_BOOL},
        {"group-denoise", "denoise-mode", OBS_PROPERTY_LIST},
        {"group-denoise", "denoise-level", OBS_PROPERTY_LIST},
    };
    for (const auto& r : rows) {
        obs_property_t* group = obs_properties_get(props, r.group);
        ASSERT_NE(group, nullptr) << r.group;
        ASSERT_EQ(obs_property_get_type(group), OBS_PROPERTY_GROUP);
        obs_property_t* p = obs_properties_get(obs_property_group_content(group), r.name);
        ASSERT_NE(p, nullptr) << r.name;
        EXPECT_EQ(obs_property_get_type(p), r.type) << r.name;
        EXPECT_STRNE(obs_property_description(p), r.name) << "no locale text for " << r.name;
    }
    obs_property_t* smooth = obs_properties_get(props, "beauty-smoothness");
    ASSERT_NE(smooth, nullptr);
    EXPECT_EQ(obs_property_float_type(smooth), OBS_NUMBER_SLIDER);
    EXPECT_DOUBLE_EQ(obs_property_float_max(smooth), 1.0);
    obs_properties_destroy(props);
}

}  // namespace
