// Parameter documents: the validation of one JSON document against its
// option key's descriptor (render/effect_descriptor.h), the memory of what
// each key was last given, member by member, and the engine's copy of the
// members it keeps (enable states, modes, levels).
//
// No GL, no engine: the engine (parameter_document.cpp) forwards what this
// accepts. Not thread-safe; the engine calls it under its lock.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "render/effect_descriptor.h"

namespace kelvo {
namespace video {

// One accepted member: row `index` of `effect`, with its value exactly as
// read (nothing is clamped).
struct ParameterSetting {
    const EffectDescriptor* effect;
    size_t index;
    SettingValue value;

    const SettingDescriptor& setting() const { return (*effect)[index]; }
};

// One rejected member, unknown member, unknown key or non-object root.
// `member` is empty for the key itself; `value` is the compact JSON of what
// was given, empty for a name that is not known; `accepted` names what would
// have been.
struct ParameterRejection {
    enum Kind { kValue, kRoot, kUnknownMember, kUnknownKey };
    Kind kind;
    std::string key;
    std::string member;
    std::string value;
    std::string accepted;
};

// The log line of a rejection: "setParameter rejected: key.member = value
// (accepted: ...)", or "... unknown member (accepted: ...)".
std::string rejectionText(const ParameterRejection& rejection);

// What one document says.
struct ParsedParameterDocument {
    bool validJson = true;
    bool knownKey = false;
    // Accepted members in apply order. For duplicate names the first counts.
    std::vector<ParameterSetting> accepted;
    std::vector<ParameterRejection> rejections;
};

// Parses `text` with RapidJSON's default (strict) flags and checks every
// member against its key's descriptor. A root that is not an object has no
// members. Unknown keys accept nothing.
ParsedParameterDocument parseParameterDocument(const std::string& key, const std::string& text);

// The accepted members of every known key, merged over all documents given:
// a later value of a member replaces the earlier one; members a document
// does not mention keep what they had.
class ParameterStore {
public:
    using Settings = std::vector<ParameterSetting>;

    void merge(const std::string& key, const Settings& accepted);

    // Keys in byte order; the settings of each key in apply order.
    const std::map<std::string, Settings>& entries() const { return entries_; }

private:
    std::map<std::string, Settings> entries_;
};

// The members the engine keeps (those with an engine message), as last set
// by a document or the automatic adjustments; the library's defaults before.
// Sized once, so setting a value never allocates.
class EffectState {
public:
    EffectState();
    int value(const EffectDescriptor& effect, size_t index) const;
    // True when the value changed.
    bool set(const EffectDescriptor& effect, size_t index, int value);

private:
    struct Slot {
        const SettingDescriptor* setting;
        int value;
    };
    size_t slotOf(const SettingDescriptor& setting) const;
    std::vector<Slot> slots_;
};

}  // namespace video
}  // namespace kelvo
