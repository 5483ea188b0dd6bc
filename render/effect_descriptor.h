// What an effect's settings are, declared once in the effect's own folder:
// its identifiers, the option key and names of its parameter document, and
// per setting the type, range, defaults, the text a rejection gives and how
// a value reaches the effect. The parameter documents, the render engine's
// settings path and the settings table in the docs read these; this header
// names no effect.
#pragma once

#include <cstddef>

#include "render/effect_base.h"

namespace kelvo {
namespace video {

enum class SettingType {
    kSwitch,   // JSON integer 0 or 1
    kInteger,  // JSON integer (no fraction, no exponent) that fits an int
    kNumber,   // any JSON number, read as a 32-bit float
};

// A value as a document gives it: switches and integers in `integer`,
// numbers in `number`, exactly as read.
struct SettingValue {
    int integer = 0;
    float number = 0.0f;
};

// Hands a value to an effect of the descriptor's internal type.
using SettingApply = void (*)(EffectBase& effect, const SettingValue& value);

// Unit members let through what rounding leaves just outside 0 and 1.
constexpr double kUnitLow = -0.001;
constexpr double kUnitHigh = 1.001;

struct SettingDescriptor {
    const char* member;  // in the JSON document
    SettingType type;
    // Accepted: integers low <= v <= high; numbers low < x < high.
    double low;
    double high;
    const char* accepted;  // the rejection's "(accepted: ...)" text
    double libraryDefault;
    // Where the tools, the element and the OBS filter start from when it
    // differs from the library's default.
    double integrationDefault;
    // The highest value the integrations' typed properties offer; every
    // value above it acts as it does.
    double offeredHigh;
    // The element's property and the OBS filter's setting; null: only
    // through the `params` document.
    const char* elementName;
    const char* obsName;
    // Members whose caller-set value the engine keeps (enable, modes and
    // levels): the message it logs on a change, e.g. "setBeautyEnable :".
    // Null for the others.
    const char* engineMessage;
    SettingApply apply;
    const char* summary;  // one line for the settings table
};

struct EffectDescriptor {
    const char* optionKey;
    int publicId;                       // setVideoEffects id; -1 for a key no effect owns
    int internalType;                   // the chain's type the settings reach
    bool onPlanes;                      // works on the frame's planes on the CPU (both backends)
    const char* cliName;                // kelvo-enhance -e, the element's and OBS's `effects`
    const char* title;                  // for the settings table
    const SettingDescriptor* settings;  // in the order a document applies them
    size_t settingCount;

    const SettingDescriptor* begin() const { return settings; }
    const SettingDescriptor* end() const { return settings + settingCount; }
    const SettingDescriptor& operator[](size_t i) const { return settings[i]; }
};

// Setting rows with the fields most settings share.
// clang-format off
constexpr SettingDescriptor switchSetting(const char* member, const char* engineMessage,
                                          SettingApply apply, const char* summary) {
    // The integrations enable what the caller selects.
    return {member, SettingType::kSwitch, 0, 1, "integer 0 or 1", 0, 1, 1, nullptr, nullptr,
            engineMessage, apply, summary};
}
constexpr SettingDescriptor unitSetting(const char* member, double libraryDefault,
                                        const char* elementName, SettingApply apply,
                                        const char* summary) {
    return {member, SettingType::kNumber, kUnitLow, kUnitHigh, "number in [0, 1]",
            libraryDefault, libraryDefault, 1, elementName, elementName, nullptr, apply, summary};
}
// clang-format on

// The enable switch of any effect.
void applyEnable(EffectBase& effect, const SettingValue& value);

}  // namespace video
}  // namespace kelvo
