// The beauty effect as both backends draw it: its settings with their
// defaults and ranges, every constant of the blur passes and the final mix,
// and what the mix is given for the settings. The GL programs receive the
// constants as a generated block (withBeautyConstants); the CPU rows read
// them here, as compile-time constants.
#pragma once

#include <string>

#include "effects/green_high_pass.h"
#include "render/effect_descriptor.h"

namespace kelvo {
namespace video {

// Levels of the mix: the classic one, and a strong and selective one that
// weighs smoothing by a soft skin likelihood of the local mean colour and by
// how textured the neighbourhood is, so eyes, brows and hair keep their
// detail and no pixel-level test leaves unsmoothed islands.
constexpr int kBeautyLevelClassic = 0;
constexpr int kBeautyLevelSelective = 1;

// Parameter values as the effect stores them, with their defaults. The
// parameter document range-checks them first: smoothness, sharpness,
// lightness and redness within kBeautyUnitRange, contrast 0..2, light
// strength above 0, noise level 0..2.
struct BeautyParameters {
    float smoothness = 0.5f;
    float sharpness = 0.3f;
    float lightness = 0.3f;
    float redness = 0.3f;
    int contrast = 1;                 // carried, changes nothing: the mix has no contrast step
    float lightStrength = 130.0f;     // ambient light estimate; picks the skin test
    int noiseLevel = 0;               // from 1 on, smoothing is not gated to skin
    int level = kBeautyLevelClassic;  // kBeautyLevelSelective: the selective mix
};
constexpr BeautyParameters kBeautyDefaults{};
constexpr int kBeautyContrastMax = 2;
constexpr int kBeautyNoiseLevelMax = 2;

// The settings both backends' beauty effects take (beauty_descriptor.cpp
// routes the documents' members to them). Values are stored unchanged and
// apply from the next Draw.
class BeautyControls {
public:
    virtual void setSmoothness(float value) = 0;
    virtual void setLightness(float value) = 0;
    virtual void setRedness(float value) = 0;
    virtual void setContrast(int value) = 0;
    virtual void setSharpness(float value) = 0;
    virtual void setLightStrength(float value) = 0;
    virtual void setNoiseLevel(int value) = 0;
    virtual void setLevel(int value) = 0;

protected:
    ~BeautyControls() = default;
};

// Denoiser level 1 with beauty off: beauty runs as a plain smoother with
// these settings.
constexpr BeautyParameters kBeautyPlainSmoother{0.7f, 0.1f, 0.0f, 0.0f, 1};

// Open ranges of the mix program's float setters: a value outside keeps the
// uniform's previous value.
struct BeautyRange {
    float low, high;
    constexpr bool contains(float x) const { return x > low && x < high; }
};
// blurAlpha, sharpen, degrees: the documents' unit range.
constexpr BeautyRange kBeautyUnitRange{static_cast<float>(kUnitLow), static_cast<float>(kUnitHigh)};
constexpr BeautyRange kBeautyContrastRange{-0.001f, 2.001f};

// Size of the blur passes for an output size: half, computed in float and
// truncated, at least 1 so a one-pixel output has a texel to read.
constexpr int beautyHalfSize(int size) {
    const int half = static_cast<int>(static_cast<float>(size) * 0.5f);
    return half > 1 ? half : 1;
}

// Blur passes. Taps lie kBeautyBlurStep half-size texels apart; the second
// pass scales the departure of the input from the mean by
// kBeautyDepartureGain before squaring it and averages the three channels
// with kBeautyChannelShare (0.3333 as written, not 1/3).
constexpr float kBeautyBlurStep = 1.5f;
constexpr float kBeautyDepartureGain = 7.07f;
constexpr float kBeautyChannelShare = 0.3333f;

// Final mix, smoothing weight: (1 - a / (a + kBeautyEdgeTheta)) for the
// blurred departure a, times a red ramp p = clamp((min(r, mean r -
// kBeautyRedFloorOffset) - kBeautyRedRampStart) * kBeautyRedRampGain, 0, 1),
// times blurAlpha, then scaled by the first band it exceeds.
constexpr float kBeautyEdgeTheta = 0.1f;
constexpr float kBeautyRedFloorOffset = 0.1f;
constexpr float kBeautyRedRampStart = 0.2f;
constexpr float kBeautyRedRampGain = 4.0f;
// Band k: weight > 1 - kBeautyBandValue[k] scales it by kBeautyBandBlur[k];
// the last value repeats, so the last scale takes the rest. The GL program
// receives them as the uniforms frequencyRangeValue and frequencyRangeBlur.
constexpr float kBeautyBandValue[4] = {0.2f, 0.5f, 0.9f, 0.9f};
constexpr float kBeautyBandBlur[4] = {1.0f, 0.9f, 0.5f, 0.08f};

// Skin tests. Light strength above kBeautyLightCut takes the broad test
// (r, g, b above their minimums, spread and |r - g| above kBeautySkinSpread,
// red the largest); otherwise the bright test (r, g, b above theirs, |r - g|
// at most kBeautySkinSpread, blue the smallest). At or above the cut, with
// noise level 0, smoothing acts on skin only.
constexpr float kBeautyLightCut = 90.0f;
constexpr float kBeautySkinMinRed = 0.371f;
constexpr float kBeautySkinMinGreen = 0.156f;
constexpr float kBeautySkinMinBlue = 0.078f;
constexpr float kBeautySkinSpread = 0.059f;
constexpr float kBeautyBrightSkinMinRed = 0.863f;
constexpr float kBeautyBrightSkinMinGreen = 0.823f;
constexpr float kBeautyBrightSkinMinBlue = 0.666f;

// Sharpening weight per high-pass band (green_high_pass.h), as multiples of
// sharpen; below kBeautySharpenSkinCut the low band spares skin.
constexpr float kBeautySharpenWeightLow = 0.5f;
constexpr float kBeautySharpenWeightMid = 1.0f;
constexpr float kBeautySharpenWeightHigh = 0.75f;
constexpr float kBeautySharpenSkinCut = 0.4f;

// The selective mix. It mixes the pixel towards a target with weight
// blurAlpha * kBeautySelectiveStrength * skin * keep, products of soft ramps
// ramp(x) = clamp((x - start) * gain, 0, 1) of local means and spreads, so
// the weight has no hard edge.
// - skin, on the blurred mean colour (R, G, B): a hue ramp on (R - G) /
//   (R + eps), a warmth ramp on (R - B) / (R + eps) times one minus a ramp
//   above it (saturated orange is fabric, not skin), and a ramp on R (too
//   dark to tell). Ratios rather than levels keep light and dark skin and
//   warm and cool white balance alike. Times one minus a ramp on
//   (2 G - R - B) / (R + eps): green above the mean of red and blue is
//   golden or olive hair, fabric or foliage; skin's green lies below it
//   under any white balance short of a green cast.
// - keep: one minus a ramp on the variance of green over the 3 x 3
//   neighbourhood divided by (its mean squared + kBeautySelectiveFineFloor),
//   so texture as strong as eyes', brows' and hair's stays whatever the
//   exposure or white balance; times one minus a ramp on the blurred
//   departure, high, for textured areas wider than 3 x 3.
// - target: in green, the blurred mean's plus ramp(|o|) * o, o the 3 x 3
//   mean of green less the blurred mean's; red and blue are that level plus
//   their 3 x 3 means' departures from green's. On a large face the blurred
//   mean is the skin's own level and the target is that level; on a small
//   one, or beside an edge, the blurred mean is partly another surface's,
//   and the target follows the local level instead of bleeding it, so fine
//   texture goes at any face size while shading stays. The colour is always
//   the neighbourhood's own, never that of hair or a wall the blur reaches.
struct BeautyRamp {
    float start, gain;
};
constexpr BeautyRamp beautyRamp(float from, float to) { return {from, 1.0f / (to - from)}; }
constexpr float kBeautySelectiveStrength = 1.0f;
constexpr float kBeautySelectiveEpsilon = 0.01f;
constexpr BeautyRamp kBeautySelectiveHue = beautyRamp(-0.05f, 0.10f);
constexpr BeautyRamp kBeautySelectiveWarmth = beautyRamp(0.02f, 0.16f);
constexpr BeautyRamp kBeautySelectiveOrange = beautyRamp(0.82f, 0.95f);
constexpr BeautyRamp kBeautySelectiveYellow = beautyRamp(0.02f, 0.10f);
constexpr BeautyRamp kBeautySelectiveDark = beautyRamp(0.08f, 0.22f);
constexpr BeautyRamp kBeautySelectiveEdge = beautyRamp(0.5f, 0.9f);
constexpr BeautyRamp kBeautySelectiveLevel = beautyRamp(0.012f, 0.04f);
constexpr BeautyRamp kBeautySelectiveFine = beautyRamp(0.006f, 0.018f);
constexpr float kBeautySelectiveFineFloor = 0.0025f;

// A beauty shader stage's source with the constants above that the GLSL
// uses inserted as a block after its "#version" line (shader_constants.h).
std::string withBeautyConstants(const char* source);
// The same with the selective mix's constants as well.
std::string withBeautySelectiveConstants(const char* source);

// What the beauty mix is given for the effect's settings, one definition for
// the GL effect and the CPU backend.
struct BeautyMixSettings {
    float sharpen;      // sharpness squared, damped a tenth on noisy scenes
    float blurAlpha;    // square root of smoothness
    float ruddyDegree;  // (0.7 redness) squared
    float whiteDegree;  // lightness as it is
};

// Scales applied in double before squaring: sharpness on noisy scenes
// (noise level 1 or more), and redness.
constexpr double kBeautyNoisySharpnessScale = 0.9;
constexpr double kBeautyRednessScale = 0.7;

BeautyMixSettings beautyMixSettings(float smoothness, float sharpness, float redness,
                                    float lightness, int noiseLevel);

}  // namespace video
}  // namespace kelvo
