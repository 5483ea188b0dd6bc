// Parameter documents: the option groups, their members and accepted values,
// the validation of one JSON document, and the memory of what each group was
// last given, member by member.
//
// No GL, no engine: the engine (parameter_document.cpp) forwards what this
// accepts. Not thread-safe; the engine calls it under its lock.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kelvo {
namespace video {

// Every member of every group, in the order the groups apply them.
enum class ParameterMember {
    kBeautyEnable,
    kBeautySmoothness,
    kBeautyLightness,
    kBeautyRedness,
    kBeautyContrast,
    kBeautySharpness,
    kColorEnhanceEnable,
    kColorEnhanceSkinProtect,
    kColorEnhanceStrength,
    kVideoDenoiserEnable,
    kVideoDenoiserMode,
    kVideoDenoiserLevel,
    kLowlightEnhanceEnable,
    kLowlightEnhanceMode,
    kLowlightEnhanceLevel,
    kEnvironmentLightStrength,
    kEnvironmentNoiseLevel,
};

// One accepted member. Integer members carry `integer`, number members
// `number` (a 32-bit float exactly as read; nothing is clamped).
struct ParameterSetting {
    ParameterMember member;
    int integer = 0;
    float number = 0.0f;
};

// What one document says.
struct ParsedParameterDocument {
    bool validJson = true;
    bool knownKey = false;
    // Accepted members in apply order. For duplicate names the first counts.
    std::vector<ParameterSetting> accepted;
    // One line per rejected member, unknown member, unknown key or non-object
    // root, each starting with "setParameter rejected: ".
    std::vector<std::string> rejections;
};

// Parses `text` with RapidJSON's default (strict) flags and checks every
// member against its group's table. A root that is not an object has no
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

}  // namespace video
}  // namespace kelvo
