#include "engine/parameter_store.h"

#include <algorithm>
#include <cstddef>
#include <set>

#include "engine/effect_factories.h"
#include "engine/json.h"

namespace kelvo {
namespace video {

namespace {

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

// The value for an accepted member, or false.
bool accept(const SettingDescriptor& setting, const JsonValue& json, SettingValue* value) {
    if (setting.type != SettingType::kNumber) {
        // IsInt is false for 1.0, 1e0 and true: they are not integers.
        if (!json.IsInt()) return false;
        const int v = json.GetInt();
        value->integer = v;
        return v >= setting.low && v <= setting.high;
    }
    if (!json.IsNumber()) return false;
    const float x = json.GetFloat();
    value->number = x;
    return x > setting.low && x < setting.high;
}

}  // namespace

std::string rejectionText(const ParameterRejection& r) {
    using R = ParameterRejection;
    std::string line = kPrefix + r.key;
    if (r.kind == R::kValue || r.kind == R::kUnknownMember) line += "." + r.member;
    if (r.kind == R::kUnknownKey)
        line += " unknown key";
    else if (r.kind == R::kUnknownMember)
        line += " unknown member";
    else
        line += " = " + r.value;
    return line + " (accepted: " + r.accepted + ")";
}

ParsedParameterDocument parseParameterDocument(const std::string& key, const std::string& text) {
    ParsedParameterDocument parsed;
    JsonDocument doc;
    doc.Parse(text.c_str(), text.size());
    if (doc.HasParseError()) {
        parsed.validJson = false;
        return parsed;
    }
    const EffectDescriptor* effect = findEffectDescriptor(key);
    if (effect == nullptr) {
        std::string keys;
        for (const EffectDescriptor* d : effectDescriptors())
            keys += (keys.empty() ? "" : ", ") + std::string(d->optionKey);
        parsed.rejections.push_back(
            {ParameterRejection::kUnknownKey, quoted(key.data(), key.size()), "", "", keys});
        return parsed;
    }
    parsed.knownKey = true;
    if (!doc.IsObject()) {
        parsed.rejections.push_back(
            {ParameterRejection::kRoot, key, "", compactJson(doc), "object"});
        return parsed;
    }
    for (size_t i = 0; i < effect->settingCount; ++i) {
        const SettingDescriptor& setting = (*effect)[i];
        const auto it = doc.FindMember(setting.member);  // the first of duplicates
        if (it == doc.MemberEnd()) continue;
        ParameterSetting accepted{effect, i, {}};
        if (accept(setting, it->value, &accepted.value))
            parsed.accepted.push_back(accepted);
        else
            parsed.rejections.push_back({ParameterRejection::kValue, key, setting.member,
                                         compactJson(it->value), setting.accepted});
    }
    std::set<std::string> unknown;
    for (auto it = doc.MemberBegin(); it != doc.MemberEnd(); ++it) {
        const std::string name(it->name.GetString(), it->name.GetStringLength());
        const bool known =
            std::any_of(effect->begin(), effect->end(),
                        [&name](const SettingDescriptor& s) { return name == s.member; });
        if (known || !unknown.insert(name).second) continue;
        std::string members;
        for (const SettingDescriptor& s : *effect)
            members += (members.empty() ? "" : ", ") + std::string(s.member);
        parsed.rejections.push_back({ParameterRejection::kUnknownMember, key,
                                     quoted(name.data(), name.size()), "", members});
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
            stored.begin(), stored.end(), setting.index,
            [](const ParameterSetting& s, size_t index) { return s.index < index; });
        if (at != stored.end() && at->index == setting.index)
            *at = setting;
        else
            stored.insert(at, setting);
    }
    entry.swap(stored);
}

EffectState::EffectState() {
    for (const EffectDescriptor* effect : effectDescriptors())
        for (const SettingDescriptor& s : *effect)
            if (s.engineMessage) slots_.push_back({&s, static_cast<int>(s.libraryDefault)});
}

size_t EffectState::slotOf(const SettingDescriptor& setting) const {
    size_t i = 0;
    while (slots_[i].setting != &setting) ++i;  // every kept member has a slot
    return i;
}

int EffectState::value(const EffectDescriptor& effect, size_t index) const {
    return slots_[slotOf(effect[index])].value;
}

bool EffectState::set(const EffectDescriptor& effect, size_t index, int value) {
    Slot& slot = slots_[slotOf(effect[index])];
    const bool changed = value != slot.value;
    slot.value = value;
    return changed;
}

}  // namespace video
}  // namespace kelvo
