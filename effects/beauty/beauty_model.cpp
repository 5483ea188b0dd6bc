#include "effects/beauty/beauty_model.h"

#include <cmath>

#include "effects/lut_loader.h"
#include "effects/shader_constants.h"

namespace kelvo {
namespace video {

std::string withBeautyConstants(const char* source) {
    return withShaderConstants(
        source,
        "Beauty constants: nine-tap weight and step, departure gain and channel share, "
        "smoothing edge theta and red ramp, skin tests, sharpening bands and weights, "
        "table addressing",
        {{"boxWeight", kNineTapWeight},
         {"blurStep", kBeautyBlurStep},
         {"departureGain", kBeautyDepartureGain},
         {"channelShare", kBeautyChannelShare},
         {"theta", kBeautyEdgeTheta},
         {"redFloorOffset", kBeautyRedFloorOffset},
         {"redRampStart", kBeautyRedRampStart},
         {"redRampGain", kBeautyRedRampGain},
         {"lightCut", kBeautyLightCut},
         {"skinMinRed", kBeautySkinMinRed},
         {"skinMinGreen", kBeautySkinMinGreen},
         {"skinMinBlue", kBeautySkinMinBlue},
         {"skinSpread", kBeautySkinSpread},
         {"brightSkinMinRed", kBeautyBrightSkinMinRed},
         {"brightSkinMinGreen", kBeautyBrightSkinMinGreen},
         {"brightSkinMinBlue", kBeautyBrightSkinMinBlue},
         {"threshold_L", kHighPassThresholdLow},
         {"threshold_M", kHighPassThresholdMid},
         {"sharpenWeightLow", kBeautySharpenWeightLow},
         {"sharpenWeightMid", kBeautySharpenWeightMid},
         {"sharpenWeightHigh", kBeautySharpenWeightHigh},
         {"sharpenSkinCut", kBeautySharpenSkinCut},
         {"lutTopLevel", kLutTopLevel},
         {"lutTilesPerRow", static_cast<float>(kLutTilesPerRow)},
         {"lutTileSize", kLutTileSize},
         {"lutTexelCentre", kLutTexelCentre},
         {"lutTileSpan", kLutTileSpan}});
}

std::string withBeautySelectiveConstants(const char* source) {
    const std::string withMix = withBeautyConstants(source);
    return withShaderConstants(withMix.c_str(),
                               "Selective mix: strength, ratio epsilon, ramps' starts and gains",
                               {{"selectiveStrength", kBeautySelectiveStrength},
                                {"selectiveEpsilon", kBeautySelectiveEpsilon},
                                {"hueStart", kBeautySelectiveHue.start},
                                {"hueGain", kBeautySelectiveHue.gain},
                                {"warmthStart", kBeautySelectiveWarmth.start},
                                {"warmthGain", kBeautySelectiveWarmth.gain},
                                {"orangeStart", kBeautySelectiveOrange.start},
                                {"orangeGain", kBeautySelectiveOrange.gain},
                                {"yellowStart", kBeautySelectiveYellow.start},
                                {"yellowGain", kBeautySelectiveYellow.gain},
                                {"darkStart", kBeautySelectiveDark.start},
                                {"darkGain", kBeautySelectiveDark.gain},
                                {"edgeStart", kBeautySelectiveEdge.start},
                                {"edgeGain", kBeautySelectiveEdge.gain},
                                {"fineStart", kBeautySelectiveFine.start},
                                {"fineGain", kBeautySelectiveFine.gain},
                                {"fineFloor", kBeautySelectiveFineFloor},
                                {"levelStart", kBeautySelectiveLevel.start},
                                {"levelGain", kBeautySelectiveLevel.gain}});
}

BeautyMixSettings beautyMixSettings(float smoothness, float sharpness, float redness,
                                    float lightness, int noiseLevel) {
    // Products in double, then rounded once, as the values were first tuned.
    const double sharp = noiseLevel >= 1
                             ? static_cast<double>(sharpness) * kBeautyNoisySharpnessScale
                             : static_cast<double>(sharpness);
    const double ruddy = static_cast<double>(redness) * kBeautyRednessScale;
    return {static_cast<float>(sharp * sharp),
            static_cast<float>(std::sqrt(static_cast<double>(smoothness))),
            static_cast<float>(ruddy * ruddy), lightness};
}

}  // namespace video
}  // namespace kelvo
