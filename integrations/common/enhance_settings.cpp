#include "enhance_settings.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

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

struct Group {
    const char* key;
    int effect;
};
const Group kGroups[] = {
    {"beauty_effect_option", kEffectBeauty},
    {"color_enhance_option", kEffectColorEnhance},
    {"video_denoiser_option", kEffectVideoDenoiser},
    {"lowlight_enhance_option", kEffectLowLightEnhance},
};

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

// Collects the engine's "setParameter rejected: ..." lines.
class RejectionLog : public IVideoProcessObserver {
public:
    void onInitialized(int) override {}
    void onLog(int level, const char* message) override {
        static const char kPrefix[] = "setParameter rejected: ";
        if (level == kLogError && std::strncmp(message, kPrefix, sizeof kPrefix - 1) == 0)
            lines.emplace_back(message + sizeof kPrefix - 1);
    }
    void onDetectionResult(int, int, const std::shared_ptr<IMetaDataInfo>&) override {}
    void onEffectResult(int, int) override {}
    void onProcessResult(int) override {}
    std::vector<std::string> lines;
};

}  // namespace

const TuningInfo kTuningInfo[kTuningCount] = {
    {"beauty-smoothness", 0, 1, false}, {"beauty-lightness", 0, 1, false},
    {"beauty-redness", 0, 1, false},    {"beauty-sharpness", 0, 1, false},
    {"color-strength", 0, 1, false},    {"color-skin-protect", 0, 1, false},
    {"denoise-level", 0, 2, true},
};

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
    // The engine's own verdict on keys, members and ranges. An engine that is
    // never initialised checks and logs each document and touches no GL.
    std::unique_ptr<IVideoProcessEngine> checker(createVideoProcessEngine(false));
    if (!checker) return true;  // out of memory: the engine will judge them later
    RejectionLog log;
    checker->setObserver(&log);
    for (auto it = doc.MemberBegin(); it != doc.MemberEnd(); ++it)
        checker->setParameter(it->name.GetString(), toText(it->value).c_str());
    checker->setObserver(nullptr);
    if (log.lines.empty()) return true;
    *error = "params: " + log.lines.front();
    for (size_t i = 1; i < log.lines.size(); ++i) *error += "; " + log.lines[i];
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
    for (const Group& g : kGroups) {
        rapidjson::Value doc(rapidjson::kObjectType);
        bool enable = selected(s.effects, g.effect);
        if (g.effect == kEffectVideoDenoiser) enable = enable && s.denoiseEnable;
        if (g.effect == kEffectLowLightEnhance) enable = enable && s.lowlightEnable;
        rapidjson::Value enableValue(enable ? 1 : 0);
        setMember(&doc, "enable", enableValue, alloc);
        if (g.effect == kEffectVideoDenoiser || g.effect == kEffectLowLightEnhance) {
            rapidjson::Value mode(g.effect == kEffectVideoDenoiser ? s.denoiseMode
                                                                   : s.lowlightMode);
            setMember(&doc, "mode", mode, alloc);
        }
        auto given = params.FindMember(g.key);
        if (given != params.MemberEnd() && given->value.IsObject())
            for (auto m = given->value.MemberBegin(); m != given->value.MemberEnd(); ++m) {
                rapidjson::Value copy(m->value, alloc);
                setMember(&doc, m->name.GetString(), copy, alloc);
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
        const bool group = std::any_of(std::begin(kGroups), std::end(kGroups),
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
