// What the beauty mix is given for the effect's settings, one definition for
// the GL effect and the CPU backend.
#pragma once

namespace kelvo {
namespace video {

struct BeautyMixSettings {
    float sharpen;      // sharpness squared, damped a tenth on noisy scenes
    float blurAlpha;    // square root of smoothness
    float ruddyDegree;  // (0.7 redness) squared
    float whiteDegree;  // lightness as it is
};

BeautyMixSettings beautyMixSettings(float smoothness, float sharpness, float redness,
                                    float lightness, int noiseLevel);

}  // namespace video
}  // namespace kelvo
