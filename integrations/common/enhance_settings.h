// What the integrations' typed settings hand the engine, kept free of
// GStreamer and OBS so that the element's properties and the OBS filters'
// settings stay thin layers over the same rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kelvo {
namespace integration {

// A JSON object mapping option keys to parameter objects, as kelvo-enhance's
// --params file, whose keys, members and values the engine accepts. "" means
// none. False with `error` for anything else, naming every rejected member
// with the engine's own text.
bool checkParams(const std::string& text, std::string* error);

// Typed settings of an integration. A tuning value goes to the engine only once
// it was set (bit in `tuningSet`), so the integrations' defaults hold until
// then; it then overrides the same member given in `params`.
enum Tuning {
    kBeautySmoothness,
    kBeautyLightness,
    kBeautyRedness,
    kBeautySharpness,
    kColorStrength,
    kColorSkinProtect,
    kDenoiseLevel,
    kTuningCount,
};

// One member of a parameter document as the library's settings schema
// describes it (kelvo_settings_schema).
struct SettingInfo {
    std::string key, member;
    int effect;                        // the key's effect id; 0 for a key no effect owns
    bool integer;                      // switch or integer, else a number
    double min, max;                   // what the integrations offer
    double libraryDefault;             // where the library starts
    double integrationDefault;         // where the integrations start
    std::string elementName, obsName;  // "" when the member has none
    std::string summary;
};

// Every member of every option key, read once from the schema; empty when
// it could not be read (out of memory).
const std::vector<SettingInfo>& settingInfos();
// The member, or null.
const SettingInfo* findSetting(const std::string& key, const std::string& member);

// Names (those of the element's properties and the OBS settings), ranges and
// defaults of the tuning values, from the schema.
struct TuningInfo {
    const char* name;
    double min, max;
    bool integer;
    double defaultValue;
};
const TuningInfo& tuningInfo(int tuning);

// The members with an element property or OBS setting of their own beyond
// the tuning values, the enables and the modes (an effect's level, say):
// offered as typed settings from the schema alone.
const std::vector<const SettingInfo*>& extraSettings();

struct Settings {
    Settings();
    std::vector<int> effects;
    std::string params;
    bool lowlightEnable = true;
    int lowlightMode = 0;
    bool denoiseEnable = true;
    int denoiseMode = 0;
    double tuning[kTuningCount];  // the integrations' defaults
    uint32_t tuningSet = 0;
    // Values of extraSettings(), in its order; as a tuning value, each goes
    // to the engine once set (bit in `extraSet`).
    std::vector<double> extra;
    uint64_t extraSet = 0;
};

// The document kelvo-enhance gives a selected effect before the caller's
// own: enabled, with the members whose integrations' default differs from
// the library's. "" for an unknown effect; `key` gets its option key.
std::string defaultDocument(int effect, std::string* key);

// One parameter document per option key: each selected effect enabled (with
// the automatic mode for low light and the denoiser, as kelvo-enhance does,
// and the integrations' defaults), unselected ones disabled, then the
// members of `params`, then the tuning and extra values that were set. Keys of `params` outside the
// four effect groups are passed on as given. `params` must have passed checkParams.
std::vector<std::pair<std::string, std::string>> composeDocuments(const Settings& settings);

// Where processFrame expects each plane of a contiguous buffer.
struct PlaneLayout {
    size_t offset;
    int stride;  // bytes per row, also the bytes each row carries
    int rows;
};

// Planes of a kPixelFormat... frame of the given size in memory order, and
// the buffer size; 0 planes for an unknown format.
int planeLayout(int format, int width, int height, PlaneLayout planes[3], size_t* size);

}  // namespace integration
}  // namespace kelvo
