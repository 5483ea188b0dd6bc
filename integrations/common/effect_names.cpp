#include "effect_names.h"

#include <cctype>
#include <sstream>

#include "kelvo/kelvo.h"

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
    effects->clear();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        const std::string name = trim(item);
        if (name.empty()) continue;
        // The library's own reading of the names.
        const int id = kelvo_effect_id(name.c_str());
        if (id != 0) {
            effects->push_back(id);
        } else {
            *error = "unknown effect '" + name + "' (beauty, color, denoise, lowlight or 101-104)";
            effects->clear();
            return false;
        }
    }
    return true;
}

}  // namespace video
}  // namespace kelvo
