#include "effects/color_enhance/color_enhance_model.h"

#include <cmath>

namespace kelvo {
namespace video {

float colorEnhanceLowChromaGain() {
    const float power = static_cast<float>(std::pow(0.15, 2.5));
    return 0.1275f / power;
}

}  // namespace video
}  // namespace kelvo
