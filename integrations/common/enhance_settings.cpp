#include "enhance_settings.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine_client.h"
#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace integration {

using namespace kelvo::video;

namespace {

// Only blanks: no parameters given.
bool blank(const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
}

bool selected(const std::vector<int>& effects, int id) {
    return std::find(effects.begin(), effects.end(), id) != effects.end();
}

struct TuningMember {
    const char* key;
    const char* member;
};
const TuningMember kTuningMembers[kTuningCount] = {
    {"beauty_effect_option", "smoothness"}, {"beauty_effect_option", "lightness"},
    {"beauty_effect_option", "redness"},    {"beauty_effect_option", "sharpness"},
    {"color_enhance_option", "strength"},   {"color_enhance_option", "skinProtect"},
    {"video_denoiser_option", "level"},
};

// Replaces the member or adds it; `value` is moved from.
void setMember(rapidjson::Value* object, const char* name, rapidjson::Value& value,
               rapidjson::Document::AllocatorType& alloc) {
    auto it = object->FindMember(name);
    if (it != object->MemberEnd())
        it->value = value;
    else
        object->AddMember(rapidjson::Value(name, alloc), value, alloc);
}

std::string toText(const rapidjson::Value& value) {
    rapidjson::StringBuffer out;
    rapidjson::Writer<rapidjson::StringBuffer> writer(out);
    value.Accept(writer);
    return out.GetString();
}

// The library keeps numbers as floats: 0.3 reads 0.30000001192092896 in
// the schema. Its float's shortest decimal is what a user sets and sees.
double number(const rapidjson::Value& v, double fallback) {
    if (!v.IsNumber()) return fallback;
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", v.GetDouble());
    return std::strtod(text, nullptr);
}
std::string name(const rapidjson::Value& v) { return v.IsString() ? v.GetString() : ""; }

std::vector<SettingInfo> readSchema() {
    std::vector<SettingInfo> infos;
    const char* text = kelvo_settings_schema();
    if (text == nullptr) return infos;
    rapidjson::Document doc;
    doc.Parse(text);
    if (!doc.IsObject() || !doc.HasMember("keys") || !doc["keys"].IsArray()) return infos;
    for (const auto& key : doc["keys"].GetArray()) {
        if (!key.IsObject() || !key.HasMember("members")) continue;
        for (const auto& m : key["members"].GetArray()) {
            SettingInfo info;
            info.key = name(key["key"]);
            info.effect = key.HasMember("effect_id") && key["effect_id"].IsInt()
                              ? key["effect_id"].GetInt()
                              : 0;
            info.member = name(m["name"]);
            info.integer = name(m["type"]) != "number";
            if (info.integer) {
                info.min = number(m["minimum"], 0);
            } else {
                // Numbers are accepted a rounding step past their bounds; the
                // integrations offer the bounds themselves.
                info.min = std::ceil(number(m["exclusive_minimum"], 0));
            }
            info.max = number(m["offered_maximum"], info.min);
            info.libraryDefault = number(m["default"], 0);
            info.integrationDefault = number(m["integration_default"], info.libraryDefault);
            info.elementName = name(m["element_property"]);
            info.obsName = name(m["obs_setting"]);
            info.summary = name(m["summary"]);
            infos.push_back(std::move(info));
        }
    }
    return infos;
}

// The option keys the effects own, in the schema's order.
struct Group {
    const char* key;
    int effect;
};
const std::vector<Group>& groups() {
    static const std::vector<Group> list = [] {
        std::vector<Group> g;
        for (const SettingInfo& info : settingInfos())
            if (info.effect > 0 && (g.empty() || info.key != g.back().key))
                g.push_back({info.key.c_str(), info.effect});
        return g;
    }();
    return list;
}

// The members whose integrations' default is not the library's; enable and
// the modes are set from the selection and the typed settings.
void addIntegrationDefaults(const char* key, rapidjson::Value* doc,
                            rapidjson::Document::AllocatorType& alloc) {
    for (const SettingInfo& info : settingInfos()) {
        if (info.key != key || info.member == "enable" ||
            info.integrationDefault == info.libraryDefault)
            continue;
        rapidjson::Value v;
        if (info.integer)
            v.SetInt(static_cast<int>(info.integrationDefault));
        else
            v.SetDouble(info.integrationDefault);
        setMember(doc, info.member.c_str(), v, alloc);
    }
}

}  // namespace

const std::vector<SettingInfo>& settingInfos() {
    static const std::vector<SettingInfo> infos = readSchema();
    return infos;
}

const SettingInfo* findSetting(const std::string& key, const std::string& member) {
    for (const SettingInfo& info : settingInfos())
        if (info.key == key && info.member == member) return &info;
    return nullptr;
}

const TuningInfo& tuningInfo(int t) {
    static const std::vector<TuningInfo> table = [] {
        std::vector<TuningInfo> rows;
        for (const TuningMember& m : kTuningMembers) {
            const SettingInfo* info = findSetting(m.key, m.member);
            // The names outlive the table: settingInfos() is never freed.
            rows.push_back(info ? TuningInfo{info->elementName.c_str(), info->min, info->max,
                                             info->integer, info->integrationDefault}
                                : TuningInfo{m.member, 0, 1, false, 0});
        }
        return rows;
    }();
    return table[static_cast<size_t>(t)];
}

const std::vector<const SettingInfo*>& extraSettings() {
    static const std::vector<const SettingInfo*> list = [] {
        std::vector<const SettingInfo*> extra;
        for (const SettingInfo& info : settingInfos()) {
            if (info.elementName.empty() || info.member == "enable" || info.member == "mode")
                continue;
            const bool tuning = std::any_of(std::begin(kTuningMembers), std::end(kTuningMembers),
                                            [&](const TuningMember& m) {
                                                return info.key == m.key && info.member == m.member;
                                            });
            // A set bit per value in Settings::extraSet.
            if (!tuning && extra.size() < 64) extra.push_back(&info);
        }
        return extra;
    }();
    return list;
}

Settings::Settings() {
    for (int t = 0; t < kTuningCount; ++t) tuning[t] = tuningInfo(t).defaultValue;
    for (const SettingInfo* info : extraSettings()) extra.push_back(info->integrationDefault);
}

std::string defaultDocument(int effect, std::string* key) {
    for (const Group& g : groups()) {
        if (g.effect != effect) continue;
        rapidjson::Document doc;
        doc.SetObject();
        rapidjson::Value on(1);
        setMember(&doc, "enable", on, doc.GetAllocator());
        addIntegrationDefaults(g.key, &doc, doc.GetAllocator());
        *key = g.key;
        return toText(doc);
    }
    key->clear();
    return "";
}

bool checkParams(const std::string& text, std::string* error) {
    if (blank(text)) return true;
    rapidjson::Document doc;
    doc.Parse(text.c_str());
    if (doc.HasParseError()) {
        *error = "params: bad JSON at offset " + std::to_string(doc.GetErrorOffset()) + ": " +
                 rapidjson::GetParseError_En(doc.GetParseError());
        return false;
    }
    if (!doc.IsObject()) {
        *error = "params must be a JSON object of option keys";
        return false;
    }
    for (auto it = doc.MemberBegin(); it != doc.MemberEnd(); ++it)
        if (!it->value.IsObject()) {
            *error = std::string("params: '") + it->name.GetString() + "' must be a JSON object";
            return false;
        }
    // The engine's own verdict on keys, members and ranges, from a CPU
    // engine that touches no GL.
    Engine checker;
    if (checker.create("{\"backend\":\"cpu\",\"threads\":1}", nullptr) != KELVO_OK)
        return true;  // no engine (out of memory): the engine will judge them later
    std::vector<std::string> refused, all;
    for (auto it = doc.MemberBegin(); it != doc.MemberEnd(); ++it) {
        checker.setParameter(it->name.GetString(), toText(it->value), &refused);
        all.insert(all.end(), refused.begin(), refused.end());
    }
    if (all.empty()) return true;
    *error = "params: " + all.front();
    for (size_t i = 1; i < all.size(); ++i) *error += "; " + all[i];
    return false;
}

std::vector<std::pair<std::string, std::string>> composeDocuments(const Settings& s) {
    rapidjson::Document params;
    if (blank(s.params))
        params.SetObject();
    else
        params.Parse(s.params.c_str());
    if (!params.IsObject()) params.SetObject();
    auto& alloc = params.GetAllocator();

    std::vector<std::pair<std::string, std::string>> docs;
    for (const Group& g : groups()) {
        rapidjson::Value doc(rapidjson::kObjectType);
        bool enable = selected(s.effects, g.effect);
        if (g.effect == KELVO_EFFECT_DENOISE) enable = enable && s.denoiseEnable;
        if (g.effect == KELVO_EFFECT_LOWLIGHT) enable = enable && s.lowlightEnable;
        rapidjson::Value enableValue(enable ? 1 : 0);
        setMember(&doc, "enable", enableValue, alloc);
        if (enable) addIntegrationDefaults(g.key, &doc, alloc);
        if (g.effect == KELVO_EFFECT_DENOISE || g.effect == KELVO_EFFECT_LOWLIGHT) {
            rapidjson::Value mode(g.effect == KELVO_EFFECT_DENOISE ? s.denoiseMode
                                                                   : s.lowlightMode);
            setMember(&doc, "mode", mode, alloc);
        }
        auto given = params.FindMember(g.key);
        if (given != params.MemberEnd() && given->value.IsObject())
            for (auto m = given->value.MemberBegin(); m != given->value.MemberEnd(); ++m) {
                rapidjson::Value copy(m->value, alloc);
                setMember(&doc, m->name.GetString(), copy, alloc);
            }
        const auto& extra = extraSettings();
        for (size_t i = 0; i < extra.size() && i < s.extra.size(); ++i) {
            if (!(s.extraSet & (uint64_t{1} << i)) || extra[i]->key != g.key) continue;
            rapidjson::Value v;
            if (extra[i]->integer)
                v.SetInt(static_cast<int>(s.extra[i]));
            else
                v.SetDouble(s.extra[i]);
            setMember(&doc, extra[i]->member.c_str(), v, alloc);
        }
        for (int t = 0; t < kTuningCount; ++t) {
            if (!(s.tuningSet & (1u << t)) || std::string(kTuningMembers[t].key) != g.key) continue;
            rapidjson::Value v;
            if (t == kDenoiseLevel)
                v.SetInt(static_cast<int>(s.tuning[t]));
            else
                v.SetDouble(s.tuning[t]);
            setMember(&doc, kTuningMembers[t].member, v, alloc);
        }
        docs.emplace_back(g.key, toText(doc));
    }
    for (auto m = params.MemberBegin(); m != params.MemberEnd(); ++m) {
        const std::string key = m->name.GetString();
        const bool group = std::any_of(groups().begin(), groups().end(),
                                       [&](const Group& g) { return key == g.key; });
        if (!group) docs.emplace_back(key, toText(m->value));
    }
    return docs;
}

int planeLayout(int format, int width, int height, PlaneLayout planes[3], size_t* size) {
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    int count = 0;
    switch (format) {
        case kPixelFormatI420:
        case kPixelFormatYV12:
            planes[0] = {0, width, height};
            planes[1] = {w * h, cw, ch};
            planes[2] = {w * h + static_cast<size_t>(cw) * ch, cw, ch};
            count = 3;
            break;
        case kPixelFormatI422:
            planes[0] = {0, width, height};
            planes[1] = {w * h, cw, height};
            planes[2] = {w * h + static_cast<size_t>(cw) * h, cw, height};
            count = 3;
            break;
        case kPixelFormatNV12:
        case kPixelFormatNV21:
            planes[0] = {0, width, height};
            planes[1] = {w * h, 2 * cw, ch};
            count = 2;
            break;
        case kPixelFormatRGBA:
        case kPixelFormatARGB:
        case kPixelFormatBGRA:
            planes[0] = {0, 4 * width, height};
            count = 1;
            break;
        default:
            return 0;
    }
    const PlaneLayout& last = planes[count - 1];
    *size = last.offset + static_cast<size_t>(last.stride) * last.rows;
    return count;
}

}  // namespace integration
}  // namespace kelvo
