#include "effect_names.h"

#include <cctype>
#include <sstream>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

namespace {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

}  // namespace

const char kDefaultEffectNames[] = "denoise,color,beauty";

bool parseEffectNames(const std::string& text, std::vector<int>* effects, std::string* error) {
    static const std::pair<const char*, int> kNames[] = {
        {"beauty", kEffectBeauty},       {"101", kEffectBeauty},
        {"color", kEffectColorEnhance},  {"colour", kEffectColorEnhance},
        {"102", kEffectColorEnhance},    {"denoise", kEffectVideoDenoiser},
        {"103", kEffectVideoDenoiser},   {"lowlight", kEffectLowLightEnhance},
        {"104", kEffectLowLightEnhance},
    };
    effects->clear();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        const std::string name = trim(item);
        if (name.empty()) continue;
        bool known = false;
        for (const auto& entry : kNames) {
            if (name == entry.first) {
                effects->push_back(entry.second);
                known = true;
                break;
            }
        }
        if (!known) {
            *error = "unknown effect '" + name + "' (beauty, color, denoise, lowlight or 101-104)";
            effects->clear();
            return false;
        }
    }
    return true;
}

}  // namespace video
}  // namespace kelvo
