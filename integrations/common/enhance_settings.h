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
// as the engine's "setParameter rejected" lines do.
bool checkParams(const std::string& text, std::string* error);

// Typed settings of an integration. A tuning value goes to the engine only once
// it was set (bit in `tuningSet`), so the library's own defaults hold until
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

// Names (those of the element's properties and the OBS settings) and ranges
// of the tuning values, in the order of Tuning; their defaults are those of
// Settings.
struct TuningInfo {
    const char* name;
    double min, max;
    bool integer;
};
extern const TuningInfo kTuningInfo[kTuningCount];

struct Settings {
    std::vector<int> effects;
    std::string params;
    bool lowlightEnable = true;
    int lowlightMode = 0;
    bool denoiseEnable = true;
    int denoiseMode = 0;
    double tuning[kTuningCount] = {0.5, 0.3, 0.3, 0.3, 0.5, 1.0, 0};
    uint32_t tuningSet = 0;
};

// One parameter document per option key: each selected effect enabled (with
// the automatic mode for low light and the denoiser, as kelvo-enhance does),
// unselected ones disabled, then the members of `params`, then the tuning
// values that were set. Keys of `params` outside the four effect groups are
// passed on as given. `params` must have passed checkParams.
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
