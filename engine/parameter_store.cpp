#include "engine/parameter_store.h"
#include "engine/json.h"
#include "effects/beauty/beauty_model.h"
#include "effects/lowlight/lowlight_model.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <iterator>
#include <limits>
#include <set>

namespace kelvo {
namespace video {

namespace {

struct MemberRule {
    const char* name;
    ParameterMember member;
    bool integer;  // a JSON integer (no fraction, no exponent) that fits int
    // Integers: low <= v <= high. Numbers, read as float: low < x < high.
    double low;
    double high;
    const char* accepted;
};

struct GroupRule {
    const char* key;
    const MemberRule* members;
    size_t count;
};

constexpr double kInf = std::numeric_limits<double>::infinity();
// The unit range lets through what rounding may leave just outside 0 and 1.
constexpr double kUnitLow = -0.001, kUnitHigh = 1.001;
constexpr const char* kUnitText = "number in [0, 1]";

using M = ParameterMember;

// The ranges are the effects'; the texts that name them in rejections are
// written out here.
static_assert(kBeautyContrastMax == 2 && kBeautyNoiseLevelMax == 2, "texts say 0..2");
static_assert(kLowlightModeMax == 1 && kLowlightLevelMax == 1, "texts say 0 or 1");

const MemberRule kBeauty[] = {
    {"enable", M::kBeautyEnable, true, 0, 1, "integer 0 or 1"},
    {"smoothness", M::kBeautySmoothness, false, kUnitLow, kUnitHigh, kUnitText},
    {"lightness", M::kBeautyLightness, false, kUnitLow, kUnitHigh, kUnitText},
    {"redness", M::kBeautyRedness, false, kUnitLow, kUnitHigh, kUnitText},
    {"contrast", M::kBeautyContrast, true, 0, kBeautyContrastMax, "integer 0..2"},
    {"sharpness", M::kBeautySharpness, false, kUnitLow, kUnitHigh, kUnitText},
};
const MemberRule kColorEnhance[] = {
    {"enable", M::kColorEnhanceEnable, true, 0, 1, "integer 0 or 1"},
    {"skinProtect", M::kColorEnhanceSkinProtect, false, kUnitLow, kUnitHigh, kUnitText},
    {"strength", M::kColorEnhanceStrength, false, kUnitLow, kUnitHigh, kUnitText},
};
const MemberRule kVideoDenoiser[] = {
    {"enable", M::kVideoDenoiserEnable, true, 0, 1, "integer 0 or 1"},
    {"mode", M::kVideoDenoiserMode, true, 0, INT_MAX, "integer >= 0"},
    {"level", M::kVideoDenoiserLevel, true, 0, INT_MAX, "integer >= 0"},
};
const MemberRule kLowlightEnhance[] = {
    {"enable", M::kLowlightEnhanceEnable, true, 0, 1, "integer 0 or 1"},
    {"mode", M::kLowlightEnhanceMode, true, 0, kLowlightModeMax, "integer 0 or 1"},
    {"level", M::kLowlightEnhanceLevel, true, 0, kLowlightLevelMax, "integer 0 or 1"},
};
const MemberRule kEnvironment[] = {
    {"light_strength", M::kEnvironmentLightStrength, false, 0, kInf, "number > 0"},
    {"noise_level", M::kEnvironmentNoiseLevel, true, 0, kBeautyNoiseLevelMax, "integer 0..2"},
};

template <size_t N>
constexpr GroupRule group(const char* key, const MemberRule (&members)[N]) {
    return {key, members, N};
}

const GroupRule kGroups[] = {
    group("beauty_effect_option", kBeauty),
    group("color_enhance_option", kColorEnhance),
    group("video_denoiser_option", kVideoDenoiser),
    group("lowlight_enhance_option", kLowlightEnhance),
    group("environment", kEnvironment),
};

const char kPrefix[] = "setParameter rejected: ";
// Log lines quote caller text; keep a hostile document from making them huge.
constexpr size_t kMaxQuoted = 64;

// Caller text for a log line: control characters replaced, long text cut at a
// character boundary.
std::string quoted(const char* text, size_t length) {
    std::string out(text, length);
    if (out.size() > kMaxQuoted) {
        size_t cut = kMaxQuoted;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
        out += "...";
    }
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

std::string compactJson(const JsonValue& value) {
    JsonStringBuffer buffer;
    JsonWriter writer(buffer);
    value.Accept(writer);
    return quoted(buffer.GetString(), buffer.GetSize());
}

template <typename Item, typename Name>
std::string joined(const Item* items, size_t count, Name name) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) out += ", ";
        out += name(items[i]);
    }
    return out;
}

// The setting for an accepted value, or false.
bool accept(const MemberRule& rule, const JsonValue& value, ParameterSetting* setting) {
    setting->member = rule.member;
    if (rule.integer) {
        // IsInt is false for 1.0, 1e0 and true: they are not integers.
        if (!value.IsInt()) return false;
        const int v = value.GetInt();
        setting->integer = v;
        return v >= rule.low && v <= rule.high;
    }
    if (!value.IsNumber()) return false;
    const float x = value.GetFloat();
    setting->number = x;
    return x > rule.low && x < rule.high;
}

}  // namespace

ParsedParameterDocument parseParameterDocument(const std::string& key, const std::string& text) {
    ParsedParameterDocument parsed;
    JsonDocument doc;
    doc.Parse(text.c_str(), text.size());
    if (doc.HasParseError()) {
        parsed.validJson = false;
        return parsed;
    }
    const auto found = std::find_if(std::begin(kGroups), std::end(kGroups),
                                    [&key](const GroupRule& g) { return key == g.key; });
    if (found == std::end(kGroups)) {
        parsed.rejections.push_back(
            kPrefix + quoted(key.data(), key.size()) + " unknown key (accepted: " +
            joined(kGroups, std::size(kGroups), [](const GroupRule& g) { return g.key; }) + ")");
        return parsed;
    }
    const GroupRule& group = *found;
    parsed.knownKey = true;
    if (!doc.IsObject()) {
        parsed.rejections.push_back(kPrefix + key + " = " + compactJson(doc) +
                                    " (accepted: object)");
        return parsed;
    }
    const MemberRule* rulesEnd = group.members + group.count;
    for (const MemberRule* rule = group.members; rule != rulesEnd; ++rule) {
        const auto it = doc.FindMember(rule->name);  // the first of duplicates
        if (it == doc.MemberEnd()) continue;
        ParameterSetting setting;
        if (accept(*rule, it->value, &setting)) {
            parsed.accepted.push_back(setting);
        } else {
            parsed.rejections.push_back(kPrefix + key + "." + rule->name + " = " +
                                        compactJson(it->value) + " (accepted: " + rule->accepted +
                                        ")");
        }
    }
    std::set<std::string> unknown;
    for (auto it = doc.MemberBegin(); it != doc.MemberEnd(); ++it) {
        const std::string name(it->name.GetString(), it->name.GetStringLength());
        const bool known = std::any_of(group.members, rulesEnd,
                                       [&name](const MemberRule& r) { return name == r.name; });
        if (known || !unknown.insert(name).second) continue;
        parsed.rejections.push_back(
            kPrefix + key + "." + quoted(name.data(), name.size()) + " unknown member (accepted: " +
            joined(group.members, group.count, [](const MemberRule& r) { return r.name; }) + ")");
    }
    return parsed;
}

void ParameterStore::merge(const std::string& key, const Settings& accepted) {
    if (accepted.empty()) return;
    // Merged into a copy: running out of memory half way keeps the old members.
    Settings& entry = entries_[key];
    Settings stored = entry;
    for (const ParameterSetting& setting : accepted) {
        const auto at = std::lower_bound(
            stored.begin(), stored.end(), setting.member,
            [](const ParameterSetting& s, ParameterMember m) { return s.member < m; });
        if (at != stored.end() && at->member == setting.member)
            *at = setting;
        else
            stored.insert(at, setting);
    }
    entry.swap(stored);
}

}  // namespace video
}  // namespace kelvo
