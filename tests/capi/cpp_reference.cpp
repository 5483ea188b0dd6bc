// What the C test compares the C interface with: the C++ interface's
// processFrame on a tight buffer, the integrations' effect names, the
// effects' descriptors and the engine's rejection texts.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cpp_reference.h"
#include "effect_names.h"
#include "engine/effect_factories.h"
#include "engine/json.h"
#include "engine/parameter_store.h"
#include "kelvo/video_process_engine.h"
#include "render/effect_descriptor.h"

extern "C" int reference_effect_id(const char* name) {
    std::vector<int> ids;
    std::string error;
    if (!kelvo::video::parseEffectNames(name, &ids, &error) || ids.size() != 1) return 0;
    return ids[0];
}

extern "C" int reference_process(const char* config, const reference_setting* settings,
                                 int settingCount, const int* effects, int effectCount, int format,
                                 int width, int height, uint8_t* buffer, int size, int colorMatrix,
                                 int colorRange) {
    std::unique_ptr<kelvo::video::IVideoProcessEngine> engine(createVideoProcessEngine(false));
    if (!engine || engine->init(config) != 0) return -100;
    if (engine->setVideoEffects(std::vector<int>(effects, effects + effectCount)) != 0) return -101;
    for (int i = 0; i < settingCount; ++i)
        if (engine->setParameter(settings[i].key, settings[i].json) != 0) return -102;
    return engine->processFrame(format, width, height, buffer, size, -1, -1, colorMatrix,
                                colorRange);
}

namespace {

using kelvo::video::JsonValue;

bool sameName(const JsonValue& value, const char* name) {
    if (name == nullptr) return value.IsNull();
    return value.IsString() && std::strcmp(value.GetString(), name) == 0;
}

bool sameNumber(const JsonValue& value, kelvo::video::SettingType type, double expected) {
    if (!std::isfinite(expected)) return value.IsNull();
    if (type != kelvo::video::SettingType::kNumber)
        return value.IsInt() && value.GetInt() == expected;
    return value.IsNumber() && value.GetDouble() == expected;
}

const JsonValue* member(const JsonValue& object, const char* name) {
    if (!object.IsObject()) return nullptr;
    auto it = object.FindMember(name);
    return it == object.MemberEnd() ? nullptr : &it->value;
}

// The first difference between the schema and the descriptors, or "".
std::string schemaDifference(const char* schema) {
    using namespace kelvo::video;
    JsonDocument doc;
    // Full precision: a default must read back as the very double written.
    doc.Parse<rapidjson::kParseFullPrecisionFlag>(schema);
    if (doc.HasParseError()) return "not JSON";
    const JsonValue* keys = member(doc, "keys");
    if (keys == nullptr || !keys->IsArray()) return "no \"keys\" array";
    if (keys->Size() != effectDescriptors().count) return "number of keys";
    rapidjson::SizeType k = 0;
    for (const EffectDescriptor* effect : effectDescriptors()) {
        const JsonValue& entry = (*keys)[k++];
        const std::string where = effect->optionKey;
        const JsonValue* key = member(entry, "key");
        const JsonValue* id = member(entry, "effect_id");
        const JsonValue* cli = member(entry, "cli_name");
        const JsonValue* members = member(entry, "members");
        if (!key || !sameName(*key, effect->optionKey)) return where + ": key";
        if (!id || !(effect->publicId < 0 ? id->IsNull()
                                          : id->IsInt() && id->GetInt() == effect->publicId))
            return where + ": effect_id";
        if (!cli || !sameName(*cli, effect->cliName)) return where + ": cli_name";
        if (!members || !members->IsArray() || members->Size() != effect->settingCount)
            return where + ": number of members";
        rapidjson::SizeType m = 0;
        for (const SettingDescriptor& s : *effect) {
            const JsonValue& row = (*members)[m++];
            const std::string at = where + "." + s.member + ": ";
            const bool integral = s.type != SettingType::kNumber;
            const char* type = s.type == SettingType::kSwitch    ? "switch"
                               : s.type == SettingType::kInteger ? "integer"
                                                                 : "number";
            struct Named {
                const char* field;
                const char* expected;
            };
            const Named names[] = {{"name", s.member},
                                   {"type", type},
                                   {"element_property", s.elementName},
                                   {"obs_setting", s.obsName},
                                   {"accepted", s.accepted}};
            for (const Named& n : names) {
                const JsonValue* v = member(row, n.field);
                if (!v || !sameName(*v, n.expected)) return at + n.field;
            }
            struct Valued {
                const char* field;
                double expected;
            };
            const Valued values[] = {{integral ? "minimum" : "exclusive_minimum", s.low},
                                     {integral ? "maximum" : "exclusive_maximum", s.high},
                                     {"offered_maximum", s.offeredHigh},
                                     {"default", s.libraryDefault},
                                     {"integration_default", s.integrationDefault}};
            for (const Valued& n : values) {
                const JsonValue* v = member(row, n.field);
                if (!v || !sameNumber(*v, s.type, n.expected)) return at + n.field;
            }
        }
    }
    return "";
}

}  // namespace

extern "C" int reference_check_schema(const char* schema, char* message, size_t capacity) {
    const std::string difference = schema ? schemaDifference(schema) : "NULL";
    std::snprintf(message, capacity, "%s", difference.c_str());
    return difference.empty() ? 0 : 1;
}

extern "C" void reference_rejection_text(const char* key, const char* json, int index, char* text,
                                         size_t capacity) {
    static const char kPrefix[] = "setParameter rejected: ";
    const kelvo::video::ParsedParameterDocument parsed =
        kelvo::video::parseParameterDocument(key, json);
    std::string line;
    if (index >= 0 && static_cast<size_t>(index) < parsed.rejections.size())
        line = kelvo::video::rejectionText(parsed.rejections[index]);
    if (line.compare(0, sizeof kPrefix - 1, kPrefix) == 0) line.erase(0, sizeof kPrefix - 1);
    std::snprintf(text, capacity, "%s", line.c_str());
}
