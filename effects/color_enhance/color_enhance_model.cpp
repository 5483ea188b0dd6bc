#include "effects/color_enhance/color_enhance_model.h"

#include <cmath>

#include "effects/lut_loader.h"
#include "effects/shader_constants.h"
#include "system/portable_math.h"

namespace kelvo {
namespace video {

float colorEnhanceLowChromaGain() {
    const double t = kColorEnhanceThreshold;
    // The meeting value (1 - t) t rounds to 0.1275f, the power to float as
    // well, and the quotient once more.
    const float meet = static_cast<float>((1.0 - t) * t);
    const float power = static_cast<float>(portable_math::pow(t, kColorEnhanceGamma));
    return meet / power;
}

std::string withColorEnhanceConstants(const char* source) {
    const float* m = kXyzFromRgb;
    const float* n = kRgbFromXyz;
    return withShaderConstants(
        source,
        "Colour enhancement constants: sRGB decoding and encoding, BT.709 / D65 matrices, "
        "CIE Lab forward and back, the pass's Lab packing, skin table addressing",
        {{"srgbDecodeKnee", kSrgbDecodeKnee},
         {"srgbDecodeSlope", kSrgbDecodeSlope},
         {"srgbDecodeScale", kSrgbDecodeScale},
         {"srgbDecodeOffset", kSrgbDecodeOffset},
         {"srgbDecodeGamma", static_cast<float>(kSrgbDecodeGamma)},
         {"srgbEncodeKnee", kSrgbEncodeKnee},
         {"srgbEncodeSlope", static_cast<float>(kSrgbEncodeSlope)},
         {"srgbEncodeScale", static_cast<float>(kSrgbEncodeScale)},
         {"srgbEncodeExponent", static_cast<float>(kSrgbEncodeExponent)},
         {"srgbEncodeOffset", static_cast<float>(kSrgbEncodeOffset)},
         {"xyzScale", kXyzScale},
         {"xyzFromRgb0", m[0]},
         {"xyzFromRgb1", m[1]},
         {"xyzFromRgb2", m[2]},
         {"xyzFromRgb3", m[3]},
         {"xyzFromRgb4", m[4]},
         {"xyzFromRgb5", m[5]},
         {"xyzFromRgb6", m[6]},
         {"xyzFromRgb7", m[7]},
         {"xyzFromRgb8", m[8]},
         {"rgbFromXyz0", n[0]},
         {"rgbFromXyz1", n[1]},
         {"rgbFromXyz2", n[2]},
         {"rgbFromXyz3", n[3]},
         {"rgbFromXyz4", n[4]},
         {"rgbFromXyz5", n[5]},
         {"rgbFromXyz6", n[6]},
         {"rgbFromXyz7", n[7]},
         {"rgbFromXyz8", n[8]},
         {"xyzUnscale", kXyzUnscale},
         {"labWhiteInverseX", kLabWhiteInverse[0]},
         {"labWhiteInverseY", kLabWhiteInverse[1]},
         {"labWhiteInverseZ", kLabWhiteInverse[2]},
         {"labKnee", kLabKnee},
         {"labCubeRoot", kLabCubeRoot},
         {"labSlope", kLabSlope},
         {"labOffset", kLabOffset},
         {"labLightnessScale", kLabLightnessScale},
         {"labLightnessOffset", kLabLightnessOffset},
         {"labAScale", kLabAScale},
         {"labBScale", kLabBScale},
         {"labInverseLightness", kLabInverseLightness},
         {"labInverseA", kLabInverseA},
         {"labInverseB", kLabInverseB},
         {"labInverseKnee", kLabInverseKnee},
         {"labInverseSlope", kLabInverseSlope},
         {"labInverseOffset", kLabInverseOffset},
         {"labWhiteX", kLabWhite[0]},
         {"labWhiteY", kLabWhite[1]},
         {"labWhiteZ", kLabWhite[2]},
         {"labPackLightness", kLabPackLightness},
         {"labPackCentre", kLabPackCentre},
         {"labPackAb", kLabPackAb},
         {"labUnpackLightness", kLabUnpackLightness},
         {"labUnpackAb", kLabUnpackAb},
         {"labAbLimit", kLabAbLimit},
         {"labStepScale", kLabStepScale},
         {"labStepCentre", kLabStepCentre},
         {"labStepRepack", kLabStepRepack},
         {"labStepRepackCentre", kLabStepRepackCentre},
         {"labAbFloor", kLabAbFloor},
         {"lutTopLevel", kLutTopLevel},
         {"lutTilesPerRow", static_cast<float>(kLutTilesPerRow)},
         {"lutTileSize", kLutTileSize},
         {"skinLutTexelCentre", kSkinLutTexelCentre},
         {"skinLutTileSpan", kSkinLutTileSpan}});
}

}  // namespace video
}  // namespace kelvo
