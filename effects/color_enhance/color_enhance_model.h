// Colour enhancement as both backends draw it: its settings and their
// defaults, the chroma curve, the Lab and sRGB constants of the BT.709 / D65
// conversion and the skin table's addressing. The GL program receives the
// constants as a generated block (withColorEnhanceConstants); the CPU rows
// read them here, as compile-time constants.
//
// Most are written to six significant places, as the conversion was first
// tuned; they stay so, since both backends must give the same pictures. A
// constant the CPU also evaluates in double is a double here; its float
// (what GLSL reads) is the float the same decimal gives.
#pragma once

#include <string>

namespace kelvo {
namespace video {

// Settings: strength and skin protection, 0..1 (the parameter document
// checks the range). colorStep = strength x kColorEnhanceStepScale.
constexpr float kColorEnhanceDefaultStrength = 0.5f;
constexpr float kColorEnhanceDefaultSkinProtect = 1.0f;
constexpr float kColorEnhanceStepScale = 100.0f;

// The settings both backends' colour effects take, stored unchanged.
class ColorEnhanceControls {
public:
    virtual void setStrength(float value) = 0;
    virtual void setSkinProtect(float value) = 0;

protected:
    ~ColorEnhanceControls() = default;
};

// Share of the boost withheld on skin: the skin protection setting, or 0
// without a skin table (whose weight would then mean nothing).
constexpr float colorEnhanceSuppress(bool hasSkinTable, float skinProtect) {
    return hasSkinTable ? skinProtect : 0.0f;
}

// Chroma curve on u = min(chroma / kColorEnhanceChromaRange, 1): gain u^gamma
// up to the threshold, (1 - u) u above it.
constexpr double kColorEnhanceThreshold = 0.15;
constexpr double kColorEnhanceGamma = 2.5;
constexpr float kColorEnhanceChromaRange = 90.0f;

// The gain below the threshold, (1 - t) t / t^gamma, so the two branches of
// the curve meet at the threshold t (float bits 0x416A19AF); both backends
// take it from here.
float colorEnhanceLowChromaGain();

// sRGB decoding: c / 12.92 up to the knee, else ((c + 0.055) / 1.055)^2.4.
constexpr float kSrgbDecodeKnee = 0.04045f;
constexpr float kSrgbDecodeSlope = 0.077399f;   // 1 / 12.92
constexpr float kSrgbDecodeScale = 0.947867f;   // 1 / 1.055
constexpr float kSrgbDecodeOffset = 0.052133f;  // 0.055 / 1.055
constexpr double kSrgbDecodeGamma = 2.4;
// sRGB encoding: 12.92 v up to the knee, else 1.055 v^(1 / 2.4) - 0.055.
constexpr float kSrgbEncodeKnee = 0.0031308f;
constexpr double kSrgbEncodeSlope = 12.92;
constexpr double kSrgbEncodeScale = 1.055;
constexpr double kSrgbEncodeExponent = 0.416667;
constexpr double kSrgbEncodeOffset = 0.055;

// BT.709 primaries, D65 white, row-major (X from R, G, B first); XYZ on a
// scale of 100 for the linear values.
constexpr float kXyzScale = 100.0f;
constexpr float kXyzFromRgb[9] = {0.4124f, 0.3576f, 0.1805f,  //
                                  0.2126f, 0.7152f, 0.0722f,  //
                                  0.0193f, 0.1192f, 0.9505f};
constexpr float kRgbFromXyz[9] = {3.2406f,  -1.5372f, -0.4986f,  //
                                  -0.9689f, 1.8758f,  0.0415f,   //
                                  0.0557f,  -0.2040f, 1.0570f};
// XYZ back to linear RGB is taken at a scale of 1: times kXyzUnscale.
constexpr float kXyzUnscale = 0.01f;

// CIE Lab. Forward: n = XYZ times the inverse white, f(n) = n^(1/3) above
// the knee, else slope n + 16/116; L = 116 f(y) - 16, a = 500 (f(x) -
// f(y)), b = 200 (f(y) - f(z)).
constexpr float kLabWhiteInverse[3] = {0.010521f, 0.01f, 0.009184f};
constexpr float kLabKnee = 0.008856f;
constexpr float kLabCubeRoot = 0.333333f;
constexpr float kLabSlope = 7.787f;
constexpr float kLabOffset = 0.137931f;  // 16 / 116
constexpr float kLabLightnessScale = 116.0f;
constexpr float kLabLightnessOffset = 16.0f;
constexpr float kLabAScale = 500.0f;
constexpr float kLabBScale = 200.0f;
// Back: f(y) = L / 116 + 16/116, f(x) = f(y) + a / 500, f(z) = f(y) - b /
// 200; f^3 above the knee, else f times the slope less the offset; times
// the white.
constexpr float kLabInverseLightness = 0.008621f;  // 1 / 116
constexpr float kLabInverseA = 0.002f;             // 1 / 500
constexpr float kLabInverseB = 0.005f;             // 1 / 200
constexpr float kLabInverseKnee = 0.206897f;       // 6 / 29
constexpr float kLabInverseSlope = 0.128419f;
constexpr float kLabInverseOffset = 0.017713f;
constexpr float kLabWhite[3] = {95.047f, 100.0f, 108.883f};

// Lab stored in 0..1: L / 100, and a, b as 0.5 + a / 254. The pass works
// on a, b in 255 steps about 128, limits them to +-127 and stores them back
// as a / 255 + 128 / 255; reading back, L x 100 and a, b as 254 x - 127.
constexpr float kLabPackLightness = 0.01f;
constexpr float kLabPackCentre = 0.5f;
constexpr float kLabPackAb = 0.003937f;  // 1 / 254
constexpr float kLabUnpackLightness = 100.0f;
constexpr float kLabUnpackAb = 254.0f;
constexpr float kLabAbLimit = 127.0f;
constexpr float kLabStepScale = 255.0f;
constexpr float kLabStepCentre = 128.0f;
constexpr float kLabStepRepack = 0.003922f;        // 1 / 255
constexpr float kLabStepRepackCentre = 0.501961f;  // 128 / 255
// |a| and |b| below this count as this in 127 / |a|, which stays finite.
constexpr float kLabAbFloor = 1e-6f;

// The skin table is read as the lookup tables' cube layout (lut_loader.h)
// but with the tile offset and span rounded as first written: 1/1024 and
// 1/8 - 1/512.
constexpr float kSkinLutTexelCentre = 0.0009766f;
constexpr float kSkinLutTileSpan = 0.123047f;

// The colour pass's fragment source with the constants above inserted as a
// block after its "#version" and "precision" lines (shader_constants.h).
std::string withColorEnhanceConstants(const char* source);

}  // namespace video
}  // namespace kelvo
