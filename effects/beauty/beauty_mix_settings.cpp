#include "effects/beauty/beauty_mix_settings.h"

#include <cmath>

namespace kelvo {
namespace video {

BeautyMixSettings beautyMixSettings(float smoothness, float sharpness, float redness,
                                    float lightness, int noiseLevel) {
    // Products in double, then rounded once, as the values were first tuned.
    const double sharp =
        noiseLevel >= 1 ? static_cast<double>(sharpness) * 0.9 : static_cast<double>(sharpness);
    const double ruddy = static_cast<double>(redness) * 0.7;
    return {static_cast<float>(sharp * sharp),
            static_cast<float>(std::sqrt(static_cast<double>(smoothness))),
            static_cast<float>(ruddy * ruddy), lightness};
}

}  // namespace video
}  // namespace kelvo
